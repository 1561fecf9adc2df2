#include "batch.h"
#include "programsetup.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    setUpProgram();
    return runBatch(application.arguments().mid(1), stdout, stderr);
}
