#include "windowmemory.h"

#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QWidget>
#include <QWindow>

namespace {

QString placeKey(const QWidget *window)
{
    return QStringLiteral("windows/") + window->objectName();
}

const QString WorkbookFolderKey = QStringLiteral("lastWorkbookFolder");

} // namespace

void restoreWindowPlace(QWidget *window, QSize designSize)
{
    if (window->restoreGeometry(QSettings().value(placeKey(window)).toByteArray())) {
        // Reopened within the run, the window is restored to where Qt last
        // saw it: Qt moves nothing and would leave the place to the window
        // manager. Setting the place it has tells the system to keep it.
        if (QWindow *handle = window->windowHandle())
            handle->setGeometry(handle->geometry());
        return;
    }
    // The design is wider than a small screen at a large scale factor. The
    // title bar the window system adds has to fit as well.
    const QSize titleBar(0, window->style()->pixelMetric(QStyle::PM_TitleBarHeight));
    window->resize(designSize.boundedTo(window->screen()->availableGeometry().size() - titleBar));
}

void rememberWindowPlace(const QWidget *window)
{
    QSettings().setValue(placeKey(window), window->saveGeometry());
}

QString lastWorkbookFolder()
{
    return QSettings().value(WorkbookFolderKey).toString();
}

void rememberWorkbookFolder(const QString &folder)
{
    QSettings().setValue(WorkbookFolderKey, folder);
}
