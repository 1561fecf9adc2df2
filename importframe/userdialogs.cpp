#include "userdialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace {
UserDialogs *g_current = nullptr;
}

UserDialogs &UserDialogs::current()
{
    static QtUserDialogs qtDialogs;
    return g_current ? *g_current : qtDialogs;
}

void UserDialogs::setCurrent(UserDialogs *dialogs)
{
    g_current = dialogs;
}

std::optional<QString> QtUserDialogs::chooseOpenFile(QWidget *parent, const QStringList &filters)
{
    QString selected = filters.value(0);
    const QString path = QFileDialog::getOpenFileName(parent, QString(), QString(),
                                                      filters.join(QStringLiteral(";;")),
                                                      &selected);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

void QtUserDialogs::showMessage(QWidget *parent, const QString &text, const QString &title,
                                MessageIcon icon)
{
    // The runs break lines with CR LF; a label shows a lone CR as a glyph.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QMessageBox box(icon == MessageIcon::Information ? QMessageBox::Information
                                                     : QMessageBox::Warning,
                    title, shown, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QStringList qtFileFilters(const QString &pipeSeparatedFilter)
{
    const QStringList parts = pipeSeparatedFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        // Qt reads the patterns from the parentheses of the description, so
        // the description's own list is replaced by the converted one.
        QString description = parts.at(i).trimmed();
        static const QRegularExpression trailingList(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
        description.remove(trailingList);
        filters.append(QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' '))));
    }
    return filters;
}
