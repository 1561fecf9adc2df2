#include "batch.h"
#include "platform.h"
#include "programend.h"
#include "programsetup.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    const int status = [&] {
        QCoreApplication application(argc, argv);
        setUpProgram();
        setUpStandardStreams();
        catchCancelSignals();
        // File names as the system passes them, which Qt's own arguments are not.
        return runBatch(nativeArguments(argc, argv), stdout, stderr);
    }();
    return endProgram(status);
}
