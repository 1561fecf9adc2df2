#pragma once

#include "databasesetting.h"
#include "orbebase.h"

#include <QWidget>

#include <optional>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QStackedWidget;

// The fields of "Datenbank wählen": the four kinds of database and, for the
// chosen one, what names it. Makes the location they name.
class DatabaseForm : public QWidget
{
    Q_OBJECT

public:
    enum Kind { Embedded, SqliteFile, PostgresServer, OdbcSource };

    explicit DatabaseForm(QWidget *parent);

    // Shows the database the programs open now.
    void showChoice(const DatabaseChoice &choice);
    Kind kind() const;
    void setKind(Kind kind);
    // The location the fields name, the password typed included; nothing,
    // with the reason, when they name none.
    std::optional<DatabaseLocation> location(QString *why) const;

    QRadioButton *kindButton(Kind kind) const;
    QLineEdit *sqlitePath() const { return m_sqlitePath; }
    QLineEdit *host() const { return m_host; }
    QLineEdit *port() const { return m_port; }
    QLineEdit *database() const { return m_database; }
    QLineEdit *user() const { return m_user; }
    QComboBox *tlsMode() const { return m_tlsMode; }
    QLineEdit *password() const { return m_password; }
    QComboBox *dataSource() const { return m_dataSource; }

signals:
    // The kind or a field changed: a check made before says nothing of it.
    void changed();

private:
    QWidget *embeddedPage();
    QWidget *sqlitePage();
    QWidget *postgresPage();
    QWidget *odbcPage();
    void chooseSqliteFile();
    void showPostgres(const DatabaseLocation &location);
    void showOdbc(const QString &connectionString);
    DatabaseLocation postgresLocation() const;

    QButtonGroup *m_kinds;
    QStackedWidget *m_pages;
    QLineEdit *m_sqlitePath = nullptr;
    QLineEdit *m_host = nullptr;
    QLineEdit *m_port = nullptr;
    QLineEdit *m_database = nullptr;
    QLineEdit *m_user = nullptr;
    QComboBox *m_tlsMode = nullptr;
    QLineEdit *m_password = nullptr;
    QComboBox *m_dataSource = nullptr;
    // What the form has no field for (sslrootcert, service, ...) is kept
    // from the location shown.
    QList<std::pair<QString, QString>> m_keptOptions;
};
