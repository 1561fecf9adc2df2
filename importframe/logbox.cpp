#include "logbox.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextCursor>

#include <algorithm>

namespace {

QString withCrLf(QString shown)
{
    return shown.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

} // namespace

LogBox::LogBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A long log would otherwise keep every append on the undo stack.
    setUndoRedoEnabled(false);
    // The check lays its findings out in TAB-separated columns.
    QFont fixed(QStringLiteral("monospace"), font().pointSize());
    fixed.setStyleHint(QFont::TypeWriter);
    // Windows answers the style with Courier New; where neither it nor the
    // name "monospace" is known (Wine, a font folder of Qt's own), the first
    // font of fixed pitch.
    if (!QFontInfo(fixed).fixedPitch()) {
        const QStringList families = QFontDatabase::families();
        const auto first = std::find_if(families.begin(), families.end(),
                                        [](const QString &family) { return QFontDatabase::isFixedPitch(family); });
        if (first != families.end())
            fixed.setFamily(*first);
    }
    setFont(fixed);
    // Tab moves on to the next control instead of typing a tab.
    setTabChangesFocus(true);
    // A workbook dropped on the box goes to the window.
    setAcceptDrops(false);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_writing)
            m_typedByUser = true;
    });
}

QString LogBox::logText() const
{
    return m_typedByUser ? withCrLf(toPlainText()) : m_log;
}

void LogBox::clearLog()
{
    QScopedValueRollback writing(m_writing, true);
    m_log.clear();
    clear();
    m_typedByUser = false;
}

void LogBox::appendLog(const QString &piece)
{
    QScopedValueRollback writing(m_writing, true);
    // The user typed into the box: the box is the log.
    if (m_typedByUser)
        m_log = withCrLf(toPlainText());
    m_typedByUser = false;
    m_log += piece;
    QScrollBar *bar = verticalScrollBar();
    const bool followingEnd = bar->value() == bar->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString(piece).remove(u'\r'));
    if (followingEnd)
        showEnd();
}

void LogBox::showEnd()
{
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}
