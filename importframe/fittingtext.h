#pragma once

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QString>

// A widget whose text is fitted to its width, again whenever its size or its
// font changes (a scale factor, a resized window).
template <typename Widget>
class RefitsText : public Widget
{
public:
    using Widget::Widget;

protected:
    virtual void fit() = 0;
    void resizeEvent(QResizeEvent *event) override
    {
        Widget::resizeEvent(event);
        fit();
    }
    void changeEvent(QEvent *event) override
    {
        Widget::changeEvent(event);
        if (event->type() == QEvent::FontChange)
            fit();
    }
};

// A status bar panel: its text whole where it fits, else shortened in the
// middle with "…"; the tool tip says what the panel stands for whole.
class FittingLabel : public RefitsText<QLabel>
{
public:
    explicit FittingLabel(QWidget *parent);

    void setFullText(const QString &text, const QString &toolTip);

    // Any width: the text is shortened to what is given.
    QSize minimumSizeHint() const override;

protected:
    void fit() override;

private:
    QString m_full;
};

// The progress bar, which shows a run's summary after it on one line,
// shortened at its end where the bar is too narrow; the tool tip holds all of
// the summary's lines.
class SummaryBar : public RefitsText<QProgressBar>
{
public:
    explicit SummaryBar(QWidget *parent);

    // lines: the summary's lines, or nothing to take it away.
    void showSummary(const QString &lines);
    bool showsSummary() const { return !m_line.isEmpty(); }

protected:
    void fit() override;

private:
    QString m_line;
};

// The window's status bar: two panels, the first of a fixed width (the
// database, or the workbook's folder), the second taking the rest (the
// workbook's name).
class StatusPanels : public QStatusBar
{
    Q_OBJECT

public:
    explicit StatusPanels(QWidget *parent);

    FittingLabel *panel1() const { return m_panel1; }
    FittingLabel *panel2() const { return m_panel2; }
    void setTexts(const QString &first, const QString &second, const QString &toolTip);
    void setWidths(int panel1, int panel2Maximum);

private:
    FittingLabel *m_panel1;
    FittingLabel *m_panel2;
};
