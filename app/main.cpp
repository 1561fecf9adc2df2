#include "modmain.h"
#include "programend.h"
#include "programsetup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    const int status = [&] {
        QApplication application(argc, argv);
        setUpProgram();
        ModMain::installGermanTranslation(application);
        ModMain::installProgramIcon();
        ModMain::installErrorPresenter();

        const int ended = ModMain::runProgram();
        ModMain::release();
        return ended;
    }();
    return endProgram(status);
}
