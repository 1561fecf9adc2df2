-- Collection 101 (kind 1) holds district 12, known in three hunting years; 102
-- is of another kind; 103 holds district 0; 104 holds district 448, which has
-- a record for 2021 already (of another species, with an unusual last year).
insert into JagdbezirksSammlung (JagdbezirksSammlung_ID_PK, JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK,
    JagdbezirksSammlung_Lfdnr, JagdbezirksSammlung_Name) values
    (101, 1, '1001', 'Eigenjagd Hofberg'), (102, 2, '1002', 'Hegering Tal'),
    (103, 1, '1003', 'Nullrevier'), (104, 1, '1004', 'Waldgemeinschaft');
insert into Jagdbezirk (Jagdbezirk_ID_PK, Jagdbezirk_Sammlung_ID_FK) values (201, 101), (202, 102), (203, 103), (204, 104);
insert into JagdbezirkDatenBayern (JagdbezirkDatenBayern_Jagdbezirk_ID_FK, JagdbezirkDatenBayern_Lfdnr,
    JagdbezirkDatenBayern_Jagdjahr, JagdbezirkDatenBayern_Reviername) values
    (201, 12, 2019, 'Hofberg alt'), (201, 12, 2022, 'Hofberg'), (201, 12, 2020, 'Hofberg mittel'),
    (202, 13, 2022, 'Tal'), (203, 0, 2022, 'Null'), (204, 448, 2022, 'Wald');
insert into ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, IdWildart, JagdjahrVon, JagdjahrBis,
    IdVerbissbelastung, IdAenderungVerbissbelastung) values
    (104, (select min(Wildart_ID_PK) from Wildart where Wildart_Name <> 'Rehwild'), 2021, 2025, 11, 30);
