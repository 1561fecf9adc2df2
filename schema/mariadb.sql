-- Tarvel database, MariaDB/MySQL (InnoDB, utf8mb4). Table names keep their case on
-- servers that store them so (Linux). Texts compare exactly, as on the other
-- databases: no case folding, trailing blanks count (nopad_bin). Statements end
-- with ";" at the end of a line.

CREATE TABLE JagdbezirksSammlungsArt (
    JagdbezirksSammlungsArt_ID_PK INTEGER PRIMARY KEY,
    JagdbezirksSammlungsArt_Name TEXT NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_nopad_bin;

CREATE TABLE JagdbezirksSammlung (
    JagdbezirksSammlung_ID_PK INTEGER AUTO_INCREMENT PRIMARY KEY,
    JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK INTEGER NOT NULL
        REFERENCES JagdbezirksSammlungsArt (JagdbezirksSammlungsArt_ID_PK),
    JagdbezirksSammlung_Lfdnr VARCHAR(255),
    JagdbezirksSammlung_Name TEXT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_nopad_bin;
CREATE INDEX JagdbezirksSammlung_Lfdnr_IX ON JagdbezirksSammlung (JagdbezirksSammlung_Lfdnr);

CREATE TABLE Jagdbezirk (
    Jagdbezirk_ID_PK INTEGER AUTO_INCREMENT PRIMARY KEY,
    Jagdbezirk_Sammlung_ID_FK INTEGER REFERENCES JagdbezirksSammlung (JagdbezirksSammlung_ID_PK),
    Jagdbezirk_Name TEXT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_nopad_bin;
CREATE INDEX Jagdbezirk_Sammlung_IX ON Jagdbezirk (Jagdbezirk_Sammlung_ID_FK);

CREATE TABLE JagdbezirkDatenBayern (
    JagdbezirkDatenBayern_ID_PK INTEGER AUTO_INCREMENT PRIMARY KEY,
    JagdbezirkDatenBayern_Jagdbezirk_ID_FK INTEGER NOT NULL REFERENCES Jagdbezirk (Jagdbezirk_ID_PK),
    JagdbezirkDatenBayern_Lfdnr INTEGER,
    JagdbezirkDatenBayern_Jagdjahr INTEGER,
    JagdbezirkDatenBayern_Reviername TEXT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_nopad_bin;
CREATE INDEX JagdbezirkDatenBayern_Lfdnr_IX
    ON JagdbezirkDatenBayern (JagdbezirkDatenBayern_Lfdnr, JagdbezirkDatenBayern_Jagdjahr);
CREATE INDEX JagdbezirkDatenBayern_Jagdbezirk_IX ON JagdbezirkDatenBayern (JagdbezirkDatenBayern_Jagdbezirk_ID_FK);

CREATE TABLE Wildart (
    Wildart_ID_PK INTEGER AUTO_INCREMENT PRIMARY KEY,
    Wildart_Name TEXT NOT NULL,
    Wildart_Aktiv BOOLEAN NOT NULL DEFAULT TRUE
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_nopad_bin;

CREATE TABLE Verbissbelastung (
    Verbissbelastung_ID_PK INTEGER PRIMARY KEY,
    Verbissbelastung_Name TEXT NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_nopad_bin;

CREATE TABLE ForstlicheAbschussEmpfehlung (
    ForstlicheAbschussEmpfehlung_ID_PK INTEGER PRIMARY KEY,
    ForstlicheAbschussEmpfehlung_Name TEXT NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_nopad_bin;

CREATE TABLE AenderungVerbissbelastung (
    AenderungVerbissbelastung_ID_PK INTEGER PRIMARY KEY,
    AenderungVerbissbelastung_Name TEXT NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_nopad_bin;

CREATE TABLE ForstlichesGutachtenZurAbschussplanung (
    IdForstlichesGutachten INTEGER AUTO_INCREMENT PRIMARY KEY,
    IdJagdbezirksSammlung INTEGER NOT NULL REFERENCES JagdbezirksSammlung (JagdbezirksSammlung_ID_PK),
    IdWildart INTEGER REFERENCES Wildart (Wildart_ID_PK),
    JagdjahrVon INTEGER NOT NULL,
    JagdjahrBis INTEGER,
    IdVerbissbelastung INTEGER REFERENCES Verbissbelastung (Verbissbelastung_ID_PK),
    IdForstlicheAbschussEmpfehlung INTEGER REFERENCES ForstlicheAbschussEmpfehlung (ForstlicheAbschussEmpfehlung_ID_PK),
    IdAenderungVerbissbelastung INTEGER REFERENCES AenderungVerbissbelastung (AenderungVerbissbelastung_ID_PK),
    Bemerkung TEXT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_nopad_bin;
-- One record per collection and first hunting year: the imports add or update
-- by that pair. Databases made before this index may lack it.
CREATE UNIQUE INDEX ForstlichesGutachten_Sammlung_Jahr_IX
    ON ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, JagdjahrVon);

-- Reference rows
INSERT INTO JagdbezirksSammlungsArt VALUES (1, 'Revierweise Aussage'), (2, 'Hegegemeinschaft');

INSERT INTO Wildart (Wildart_Name, Wildart_Aktiv) VALUES
    ('Rehwild', true), ('Rotwild', true), ('Gamswild', true), ('Schwarzwild', true), ('Damwild', true), ('Sikawild', false);

INSERT INTO Verbissbelastung VALUES
    (11, 'günstig'), (12, 'tragbar'), (13, 'zu hoch'), (14, 'deutlich zu hoch');

INSERT INTO ForstlicheAbschussEmpfehlung VALUES
    (15, 'deutlich senken'), (16, 'senken'), (17, 'beibehalten'), (18, 'erhöhen'), (19, 'deutlich erhöhen');

INSERT INTO AenderungVerbissbelastung VALUES
    (30, 'verbessert'), (31, 'gleich geblieben'), (32, 'verschlechtert'), (36, 'keine Aussage möglich');
