#include "batch.h"
#include "platform.h"
#include "programsetup.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    setUpProgram();
    catchCancelSignals();
    return runBatch(application.arguments().mid(1), stdout, stderr);
}
