#pragma once

#include <QString>

// The codes of the assessment. Each takes the cell text as the run read it
// (trimmed) and compares it exactly and case-sensitively; a text that no line
// accepts takes the table's fallback, which equals the code of "2".

// Browsing pressure (IdVerbissbelastung) from a cooperative workbook: words or
// digits. günstig/1 11, tragbar/2 12, zu_hoch/3 13, deutlich_zu_hoch/4 14.
qint32 browsingPressureCode(const QString &text);

// Browsing pressure from a district workbook: the digits 1 to 4 only.
qint32 browsingPressureDigitCode(const QString &text);

// Recommended change of the cull (IdForstlicheAbschussEmpfehlung):
// deutlich_senken/1 15, senken/2 16, beibehalten/3 17, erhöhen/4 18,
// deutlich_erhöhen/5 19; fallback 16.
qint32 cullRecommendationCode(const QString &text);

// Change of the browsing pressure (IdAenderungVerbissbelastung), digits only:
// 0 36, 1 30, 2 31, 3 32; fallback 31.
qint32 browsingPressureChangeCode(const QString &text);
