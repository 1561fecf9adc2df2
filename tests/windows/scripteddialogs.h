#pragma once

#include "userdialogs.h"

#include <QList>
#include <QStringList>


// Answers the program's dialogs from a script and records what was shown.
// Installed for its lifetime.
class ScriptedDialogs : public UserDialogs
{
public:
    struct Message
    {
        QString text;
        QString title;
        MessageIcon icon;
    };

    ScriptedDialogs() { UserDialogs::setCurrent(this); }
    ~ScriptedDialogs() override { UserDialogs::setCurrent(nullptr); }

    // Next answers of the file dialog; a null text means "cancelled". An empty
    // script cancels too.
    QStringList fileAnswers;
    QList<QStringList> fileDialogFilters;
    QList<Message> messages;

    std::optional<QString> chooseOpenFile(QWidget *, const QStringList &filters) override
    {
        fileDialogFilters.append(filters);
        const QString answer = fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
        if (answer.isNull())
            return std::nullopt;
        return answer;
    }

    void showMessage(QWidget *, const QString &text, const QString &title,
                     MessageIcon icon) override
    {
        messages.append({text, title, icon});
    }
};
