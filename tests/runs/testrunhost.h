#pragma once

#include "errorreportcapture.h"
#include "runhost.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <utility>

// A run host without widgets that records everything a run does to it.
class TestRunHost : public RunHost
{
public:
    struct Message
    {
        QString text;
        QString title;
        MessageIcon icon;
    };

    ImportWindowState state;
    QString log;
    QList<float> progressMaximums;
    QList<float> progressValues;
    std::optional<bool> importEnabled; // unset until a run sets it
    QList<Message> messages;
    QStringList summaries;  // summaryText() of each summary shown
    int cancelAfterRow = 0; // "Abbrechen" pressed during this row; 0: never
    std::atomic<bool> cancelNow = false; // "Abbrechen" pressed from another thread
    std::function<void()> duringRows; // done from outside once, as the first row begins

    ImportWindowState &windowState() override { return state; }
    void clearLog() override { log.clear(); }
    void appendLog(const QString &piece) override { log += piece; }
    QString logText() const override { return log; }
    void setProgressMaximum(float maximum) override { progressMaximums << maximum; }
    void setProgressValue(float value) override
    {
        progressValues << value;
        if (duringRows && value > 0)
            std::exchange(duringRows, nullptr)();
    }
    void setImportEnabled(bool enabled) override { importEnabled = enabled; }
    void showMessage(const QString &text, const QString &title, MessageIcon icon) override
    {
        messages << Message{text, title, icon};
    }
    QString placeName() const override { return QStringLiteral("frmTest"); }
    bool cancelRequested() override
    {
        return cancelNow || (cancelAfterRow > 0 && state.currentRow >= cancelAfterRow);
    }
    void showSummary(const RunSummary &summary) override { summaries << summaryText(summary); }
};
