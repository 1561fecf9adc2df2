#include "fittingtext.h"

#include <QStyle>
#include <QStyleOptionProgressBar>

FittingLabel::FittingLabel(QWidget *parent)
    : RefitsText(parent)
{
    setTextFormat(Qt::PlainText);
}

void FittingLabel::setFullText(const QString &text, const QString &toolTip)
{
    m_full = text;
    setToolTip(toolTip);
    fit();
}

QSize FittingLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void FittingLabel::fit()
{
    // A folder's end names it best, its start says where it lies.
    setText(fontMetrics().elidedText(m_full, Qt::ElideMiddle, contentsRect().width() - 2 * margin()));
}

SummaryBar::SummaryBar(QWidget *parent)
    : RefitsText(parent)
{
    setTextVisible(false);
    setAlignment(Qt::AlignCenter);
}

void SummaryBar::showSummary(const QString &lines)
{
    m_line = lines;
    m_line.replace(u'\n', QStringLiteral(" – "));
    setToolTip(lines);
    if (m_line.isEmpty()) {
        setTextVisible(false);
        return;
    }
    setTextVisible(true);
    fit();
}

void SummaryBar::fit()
{
    if (m_line.isEmpty())
        return;
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    const int width = style()->subElementRect(QStyle::SE_ProgressBarLabel, &option, this).width();
    // "%" would be taken for a placeholder of the bar.
    setFormat(fontMetrics().elidedText(m_line, Qt::ElideRight, width - fontMetrics().averageCharWidth())
                  .replace(u'%', QLatin1String("%%")));
}

StatusPanels::StatusPanels(QWidget *parent)
    : QStatusBar(parent)
    , m_panel1(new FittingLabel(this))
    , m_panel2(new FittingLabel(this))
{
    setObjectName(QStringLiteral("StatusBar1"));
    setSizeGripEnabled(false);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    m_panel2->setObjectName(QStringLiteral("Panel2"));
    addWidget(m_panel1);
    addWidget(m_panel2, 1);
}

void StatusPanels::setTexts(const QString &first, const QString &second, const QString &toolTip)
{
    m_panel1->setFullText(first, toolTip);
    m_panel2->setFullText(second, toolTip);
}

void StatusPanels::setWidths(int panel1, int panel2Maximum)
{
    m_panel1->setFixedWidth(panel1);
    m_panel2->setMaximumWidth(panel2Maximum);
}
