#pragma once

#include "userdialogs.h"

#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>

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
        QStringList furtherButtons;
        QString details; // an error box's
        QString okCaption = {};
    };

    ScriptedDialogs() { UserDialogs::setCurrent(this); }
    ~ScriptedDialogs() override { UserDialogs::setCurrent(nullptr); }

    // Next answers of the file dialog; a null text (or none) means "cancelled".
    QStringList fileAnswers;
    QList<QStringList> fileDialogFilters;
    QStringList fileDialogFolders;
    QList<Message> messages; // questions too, with the title "?", and error boxes
    int buttonAnswer = 0;
    bool confirmAnswer = false;
    QStringList passwordAnswers; // next answers to a password question; none: cancelled
    std::function<void()> whenShown; // runs as each dialog opens

    std::optional<QString> chooseOpenFile(QWidget *, const QStringList &filters,
                                          const QString &folder) override
    {
        fileDialogFilters.append(filters);
        fileDialogFolders.append(folder);
        const QString answer = fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
        if (answer.isNull())
            return std::nullopt;
        return answer;
    }

    int showMessage(QWidget *, const QString &text, const QString &title, MessageIcon icon,
                    const QStringList &furtherButtons = {}, const QString &okCaption = {}) override
    {
        return shown({text, title, icon, furtherButtons, {}, okCaption}), buttonAnswer;
    }

    void showError(QWidget *, const QString &text, const QString &details, const QString &title) override
    {
        shown({text, title, MessageIcon::Exclamation, {}, details});
    }

    bool confirm(QWidget *parent, const QString &text, const QString &title) override
    {
        shown({text, QStringLiteral("?"), MessageIcon::Exclamation, {}, {}});
        if (!enterOnRealQuestion)
            return confirmAnswer;
        // The program's own box, opened as a person sees it; Enter goes
        // where the keyboard's focus is.
        QTimer::singleShot(0, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            realQuestionDefaults << (box && box->defaultButton() == box->button(QMessageBox::No) ? "Nein" : "nicht Nein");
            if (box)
                QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
        });
        return QtUserDialogs().confirm(parent, text, title);
    }
    bool enterOnRealQuestion = false;
    QStringList realQuestionDefaults; // the default button of each, "Nein" when No

    std::optional<QString> askPassword(QWidget *, const QString &text, const QString &title) override
    {
        shown({text, title, MessageIcon::Information, {}, {}});
        if (passwordAnswers.isEmpty())
            return std::nullopt;
        return passwordAnswers.takeFirst();
    }

private:
    void shown(const Message &message)
    {
        messages.append(message);
        if (whenShown)
            whenShown();
    }
};
