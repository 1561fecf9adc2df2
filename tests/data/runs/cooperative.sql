-- 448 has two records, 449 none, 450 one with an empty code, 4'51 none; one
-- collection has no number at all, which no empty Hgnr may find.
insert into JagdbezirksSammlung (JagdbezirksSammlung_ID_PK, JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK,
    JagdbezirksSammlung_Lfdnr, JagdbezirksSammlung_Name) values
    (301, 2, '448', 'HG Naila'), (302, 2, '449', 'HG Helmbrechts'), (303, 1, '450', 'HG Schwarzenbach'),
    (305, 2, '4''51', 'HG Apostroph'), (306, 2, null, 'HG ohne Nummer');
insert into ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, IdWildart, JagdjahrVon, JagdjahrBis,
    IdVerbissbelastung, IdForstlicheAbschussEmpfehlung) values
    (301, (select min(Wildart_ID_PK) from Wildart where Wildart_Name <> 'Rehwild'), 2018, 2020, 12, 16),
    (301, (select min(Wildart_ID_PK) from Wildart where Wildart_Name <> 'Rehwild'), 2021, 2025, 11, 15),
    (303, (select Wildart_ID_PK from Wildart where Wildart_Name = 'Rehwild'), 2021, 2023, null, 17);
