#include "modmain.h"
#include "programsetup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    setUpProgram();
    ModMain::installGermanTranslation(application);
    ModMain::installProgramIcon();
    ModMain::installErrorPresenter();

    const int status = ModMain::runProgram();
    ModMain::release();
    return status;
}
