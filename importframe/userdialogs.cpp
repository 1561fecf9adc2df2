#include "userdialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <cmath>

namespace {

UserDialogs *g_current = nullptr;

} // namespace

UserDialogs &UserDialogs::current()
{
    static QtUserDialogs qtDialogs;
    return g_current ? *g_current : qtDialogs;
}

void UserDialogs::setCurrent(UserDialogs *dialogs)
{
    g_current = dialogs;
}

std::optional<QString> QtUserDialogs::chooseOpenFile(QWidget *parent, const QStringList &filters,
                                                     const QString &folder)
{
    QString selected = filters.value(0);
    const QString path = QFileDialog::getOpenFileName(parent, QString(), folder,
                                                      filters.join(QStringLiteral(";;")),
                                                      &selected);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

int QtUserDialogs::showMessage(QWidget *parent, const QString &text, const QString &title,
                               MessageIcon icon, const QStringList &furtherButtons, const QString &okCaption)
{
    // The runs break lines with CR LF; a label shows a lone CR as a glyph.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QMessageBox box(icon == MessageIcon::Information ? QMessageBox::Information
                                                     : QMessageBox::Warning,
                    title, shown, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    if (!okCaption.isEmpty())
        box.button(QMessageBox::Ok)->setText(okCaption);
    QList<QAbstractButton *> further;
    for (const QString &caption : furtherButtons)
        further << box.addButton(caption, QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return int(further.indexOf(box.clickedButton())) + 1;
}

namespace {

// The details box at least 60 characters wide and as high as the record
// takes at that width, its wrapped lines counted as the box lays them out;
// half the screen at most, where it scrolls.
void fitDetails(QTextEdit *detailsBox, const QString &details)
{
    const int width = detailsBox->fontMetrics().averageCharWidth() * 60;
    QTextDocument laidOut;
    laidOut.setDefaultFont(detailsBox->document()->defaultFont());
    laidOut.setDocumentMargin(detailsBox->document()->documentMargin());
    laidOut.setPlainText(details);
    laidOut.setTextWidth(width);
    const int frame = 2 * detailsBox->frameWidth();
    detailsBox->setMinimumWidth(width + frame);
    // Qt gives the box a fixed height of its own: a taller minimum alone
    // would leave it short, placed in the middle of the room it asked for.
    const int needed = int(std::ceil(laidOut.size().height())) + frame;
    detailsBox->setFixedHeight(std::min(needed, detailsBox->screen()->availableGeometry().height() / 2));
}

} // namespace

void QtUserDialogs::showError(QWidget *parent, const QString &text, const QString &details, const QString &title)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    // Behind "Details einblenden", the whole record.
    box.setDetailedText(details);
    if (auto *detailsBox = box.findChild<QTextEdit *>())
        fitDetails(detailsBox, details);
    // Enter is OK's, also once the details button has the focus.
    for (QPushButton *button : box.findChildren<QPushButton *>()) {
        if (button != box.button(QMessageBox::Ok))
            button->setAutoDefault(false);
    }
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

bool QtUserDialogs::confirm(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtUserDialogs::askPassword(QWidget *parent, const QString &text, const QString &title)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(text);
    dialog.setTextEchoMode(QLineEdit::Password);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
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
