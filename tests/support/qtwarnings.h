#pragma once

#include "qtnotes.h"

#include <QTest>

// In a test's init(): any Qt warning but the platform's notes (a thread
// fault, a connection still in use) fails the test function.
inline void failOnQtWarnings()
{
    QTest::failOnWarning(unexpectedQtMessage());
}
