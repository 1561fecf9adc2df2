#pragma once

#include <QRegularExpression>

// Qt's messages that are notes of the platform, not faults of the program:
// the offscreen platform's word that it cannot raise a window, size it by
// hints or open a document, the runtime folder that root lacks, and the ODBC
// driver's notes on a statement the database refused (the component words
// that failure itself) and on a driver that reads forward only.
// Any other warning (an object used from another thread, a database
// connection still in use) is a fault: the test builds show it and the
// tests fail on it.
bool isPlatformNote(const QString &message);
// Matches every message but the platform's notes (QTest::failOnWarning).
QRegularExpression unexpectedQtMessage();
