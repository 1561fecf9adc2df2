#pragma once

#include "databasesetting.h"
#include "orbebase.h"

#include <QDialog>

class DatabaseForm;
class QLabel;
class QPushButton;

// "Datenbank wählen": the database the programs open now, the four kinds to
// choose from, "Verbindung prüfen", which opens the chosen database and says
// whether it is Tarvel's, and "Übernehmen", enabled only after such a check
// succeeded, which stores the location (never a password) as the user's
// setting. While TARVEL_DATABASE or IT's fixed setting names the database it
// shows which and why, and nothing can be chosen.
class DatabaseDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DatabaseDialog(QWidget *parent);

    void check();
    void apply();

    // After "Übernehmen": the location taken, with the password typed.
    DatabaseLocation takenLocation() const { return m_taken; }

    DatabaseForm *form() const { return m_form; }
    QLabel *result() const { return m_result; }
    QPushButton *checkButton() const { return m_check; }
    QPushButton *applyButton() const { return m_apply; }
    QPushButton *closeButton() const { return m_close; }

private:
    QString checkLocation(const DatabaseLocation &location, bool *fits) const;
    void forgetCheck();

    const DatabaseChoice m_current;
    DatabaseForm *m_form;
    QLabel *m_result;
    QPushButton *m_check;
    QPushButton *m_apply;
    QPushButton *m_close;
    DatabaseLocation m_taken;
    bool m_checked = false;
};
