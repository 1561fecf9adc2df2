#include "batch.h"
#include "platform.h"
#include "programsetup.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    setUpProgram();
    catchCancelSignals();
    // File names as the system encodes them, which Qt's own arguments are not.
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    return runBatch(arguments, stdout, stderr);
}
