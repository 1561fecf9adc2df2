#include "modmain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The database component keeps its files in the data folder of this name.
    QCoreApplication::setOrganizationName(QStringLiteral("Tarvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvel"));
    ModMain::installGermanTranslation(application);
    ModMain::installErrorPresenter();

    ModMain::Main();
    int result = 0;
    if (ModMain::anyWindowOpen())
        result = application.exec();
    ModMain::release();
    return result;
}
