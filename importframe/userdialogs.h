#pragma once

#include "runhost.h"

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// The modal dialogs the program shows: the open-file dialog and the message
// boxes. Replaceable as a whole so that tests run without a person and without
// blocking.
class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    // filters in Qt's form ("Excel (*.xlsx)"), the first one preselected; the
    // dialog opens in folder (the system's choice when empty). Returns the
    // chosen file's path, or nothing when the dialog was cancelled.
    virtual std::optional<QString> chooseOpenFile(QWidget *parent, const QStringList &filters,
                                                  const QString &folder) = 0;

    // A message with an OK button (captioned okCaption, when given) and any
    // further buttons; returns when it has been closed: 0 for OK (or the box
    // closed otherwise), i for the i-th further button.
    virtual int showMessage(QWidget *parent, const QString &text, const QString &title,
                            MessageIcon icon, const QStringList &furtherButtons = {},
                            const QString &okCaption = {}) = 0;

    // An error: a warning with an OK button, details shown on request.
    virtual void showError(QWidget *parent, const QString &text, const QString &details, const QString &title) = 0;

    // A yes/no question, no preselected; true for yes.
    virtual bool confirm(QWidget *parent, const QString &text, const QString &title) = 0;

    // Asks for a password, its characters hidden; nothing when cancelled.
    virtual std::optional<QString> askPassword(QWidget *parent, const QString &text, const QString &title) = 0;

    static UserDialogs &current();
    // nullptr restores the Qt dialogs. The caller keeps ownership.
    static void setCurrent(UserDialogs *dialogs);
};

// The real dialogs.
class QtUserDialogs : public UserDialogs
{
public:
    std::optional<QString> chooseOpenFile(QWidget *parent, const QStringList &filters,
                                          const QString &folder) override;
    int showMessage(QWidget *parent, const QString &text, const QString &title,
                    MessageIcon icon, const QStringList &furtherButtons = {}, const QString &okCaption = {}) override;
    void showError(QWidget *parent, const QString &text, const QString &details, const QString &title) override;
    bool confirm(QWidget *parent, const QString &text, const QString &title) override;
    std::optional<QString> askPassword(QWidget *parent, const QString &text, const QString &title) override;
};

// Turns a filter list in the "Description|pattern;pattern|..." form into Qt's
// filter entries: "Excel Files (*.xls;*.csv)|*.xls;*.csv" becomes
// "Excel Files (*.xls *.csv)", and "*.*" becomes "*" (Qt's "*.*" skips names
// without a dot). A trailing description without patterns is dropped.
QStringList qtFileFilters(const QString &pipeSeparatedFilter);
