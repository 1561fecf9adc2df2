#include "modmain.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The database component keeps its files in the data folder of this name.
    QCoreApplication::setOrganizationName(QStringLiteral("Tarvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvel"));
    // Dates and times follow the user's regional settings; a machine without
    // any (the C locale) gets the German ones of the program's users.
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ModMain::installGermanTranslation(application);
    ModMain::installErrorPresenter();

    ModMain::Main();
    int result = 0;
    if (ModMain::anyWindowOpen())
        result = application.exec();
    ModMain::release();
    return result;
}
