#pragma once

#include "programend.h"

#include <QTest>

// Qt Test's main(), ending as the programs end: the application object is
// gone before endProgram().
#define TARVEL_TEST_MAIN_WRAPPER(TestObject, ...)                                                                      \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        const int status = [&] {                                                                                       \
            QT_PREPEND_NAMESPACE(QTest::Internal::callInitMain)<TestObject>();                                         \
            __VA_ARGS__                                                                                                \
            TestObject tc;                                                                                             \
            QTEST_SET_MAIN_SOURCE_PATH                                                                                 \
            return QTest::qExec(&tc, argc, argv);                                                                      \
        }();                                                                                                           \
        return endProgram(status);                                                                                     \
    }

#define TARVEL_TEST_MAIN(TestObject) TARVEL_TEST_MAIN_WRAPPER(TestObject, QTEST_MAIN_SETUP())
#define TARVEL_TEST_GUILESS_MAIN(TestObject) TARVEL_TEST_MAIN_WRAPPER(TestObject, QTEST_QAPP_SETUP(QCoreApplication))
