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

    ModMain::Main();
    int result = 0;
    if (ModMain::anyWindowOpen())
        result = application.exec();
    ModMain::release();
    return result;
}
