#include "databaseform.h"

#include "odbcconnectionstring.h"
#include "userdialogs.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

const QString SslMode = QStringLiteral("sslmode");

// The TLS modes of the client library, by what they do.
const QList<std::pair<QString, QString>> TlsModes{
    {QStringLiteral("Voreinstellung (verschlüsselt, wenn der Server es kann)"), QString()},
    {QStringLiteral("nie verschlüsselt (disable)"), QStringLiteral("disable")},
    {QStringLiteral("unverschlüsselt, wenn der Server es zulässt (allow)"), QStringLiteral("allow")},
    {QStringLiteral("verschlüsselt, wenn der Server es kann (prefer)"), QStringLiteral("prefer")},
    {QStringLiteral("immer verschlüsselt (require)"), QStringLiteral("require")},
    {QStringLiteral("verschlüsselt, Zertifikat geprüft (verify-ca)"), QStringLiteral("verify-ca")},
    {QStringLiteral("verschlüsselt, Zertifikat und Servername geprüft (verify-full)"), QStringLiteral("verify-full")}};

// A data source's name as a value of DSN=: braced where the grammar needs it.
QString dataSourceAttribute(QString name)
{
    if (name.contains(u';') || name.contains(u'{') || name.contains(u'}') || name != name.trimmed())
        name = u'{' + name.replace(u'}', QLatin1String("}}")) + u'}';
    return QStringLiteral("DSN=") + name;
}

QLabel *note(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

DatabaseForm::DatabaseForm(QWidget *parent)
    : QWidget(parent)
    , m_kinds(new QButtonGroup(this))
    , m_pages(new QStackedWidget(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *kinds = new QGroupBox(QStringLiteral("Art"), this);
    auto *kindsLayout = new QVBoxLayout(kinds);
    const QStringList names{QStringLiteral("Eingebaute Datenbank"), QStringLiteral("SQLite-Datei"),
                            QStringLiteral("PostgreSQL-Server"), QStringLiteral("ODBC-Datenquelle")};
    for (int kind = Embedded; kind <= OdbcSource; ++kind) {
        auto *button = new QRadioButton(names[kind], kinds);
        m_kinds->addButton(button, kind);
        kindsLayout->addWidget(button);
    }
    kindsLayout->addStretch(1);
    auto *details = new QGroupBox(QStringLiteral("Angaben"), this);
    auto *detailsLayout = new QVBoxLayout(details);
    detailsLayout->addWidget(m_pages);
    // Each page at the top, however tall the tallest makes the stack.
    for (QWidget *page : {embeddedPage(), sqlitePage(), postgresPage(), odbcPage()}) {
        auto *holder = new QWidget(m_pages);
        auto *holderLayout = new QVBoxLayout(holder);
        holderLayout->setContentsMargins(0, 0, 0, 0);
        page->setParent(holder);
        holderLayout->addWidget(page);
        holderLayout->addStretch(1);
        m_pages->addWidget(holder);
    }
    layout->addWidget(kinds);
    layout->addWidget(details, 1);
    connect(m_kinds, &QButtonGroup::idToggled, this, [this](int kind, bool on) {
        if (!on)
            return;
        m_pages->setCurrentIndex(kind);
        emit changed();
    });
    setKind(Embedded);
}

QWidget *DatabaseForm::embeddedPage()
{
    return note(QStringLiteral("Die Datei %1 im Datenordner des Benutzers; Tarvel legt sie an, wenn es sie noch "
                               "nicht gibt.").arg(QDir::toNativeSeparators(OrbeBase::defaultDatabasePath())),
                this);
}

QWidget *DatabaseForm::sqlitePage()
{
    auto *page = new QWidget(this);
    auto *layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    m_sqlitePath = new QLineEdit(page);
    auto *browse = new QPushButton(QStringLiteral("Durchsuchen…"), page);
    browse->setObjectName(QStringLiteral("cmdDurchsuchen"));
    layout->addWidget(m_sqlitePath, 1);
    layout->addWidget(browse);
    connect(m_sqlitePath, &QLineEdit::textChanged, this, &DatabaseForm::changed);
    connect(browse, &QPushButton::clicked, this, &DatabaseForm::chooseSqliteFile);
    return page;
}

QWidget *DatabaseForm::postgresPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QFormLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    m_host = new QLineEdit(page);
    m_host->setPlaceholderText(QStringLiteral("dbserver.amt.example"));
    m_port = new QLineEdit(page);
    m_port->setValidator(new QIntValidator(1, 65535, m_port));
    m_port->setPlaceholderText(QStringLiteral("5432"));
    m_database = new QLineEdit(page);
    m_user = new QLineEdit(page);
    m_tlsMode = new QComboBox(page);
    for (const auto &[text, mode] : TlsModes)
        m_tlsMode->addItem(text, mode);
    m_password = new QLineEdit(page);
    m_password->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("Server:"), m_host);
    layout->addRow(QStringLiteral("Port:"), m_port);
    layout->addRow(QStringLiteral("Datenbank:"), m_database);
    layout->addRow(QStringLiteral("Benutzer:"), m_user);
    layout->addRow(QStringLiteral("Verschlüsselung:"), m_tlsMode);
    layout->addRow(QStringLiteral("Kennwort:"), m_password);
    layout->addRow(QString(), note(QStringLiteral("Das Kennwort gilt nur für „Verbindung prüfen“ und bis Tarvel endet; "
                                                  "es wird nirgends gespeichert. Auf Dauer gehört es in die "
                                                  "Passwortdatei von PostgreSQL."),
                                   page));
    for (QLineEdit *field : {m_host, m_port, m_database, m_user, m_password})
        connect(field, &QLineEdit::textChanged, this, &DatabaseForm::changed);
    connect(m_tlsMode, &QComboBox::currentIndexChanged, this, &DatabaseForm::changed);
    return page;
}

QWidget *DatabaseForm::odbcPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    m_dataSource = new QComboBox(page);
    for (const QString &name : odbcDataSources())
        m_dataSource->addItem(name, dataSourceAttribute(name));
    layout->addWidget(m_dataSource);
    layout->addWidget(note(m_dataSource->count() > 0
                               ? QStringLiteral("Die Datenquellen, die die ODBC-Verwaltung dieses Rechners kennt.")
                               : QStringLiteral("Die ODBC-Verwaltung dieses Rechners kennt keine Datenquelle."),
                           page));
    connect(m_dataSource, &QComboBox::currentIndexChanged, this, &DatabaseForm::changed);
    return page;
}

QRadioButton *DatabaseForm::kindButton(Kind kind) const
{
    return static_cast<QRadioButton *>(m_kinds->button(kind));
}

DatabaseForm::Kind DatabaseForm::kind() const
{
    return Kind(m_kinds->checkedId());
}

void DatabaseForm::setKind(Kind kind)
{
    kindButton(kind)->setChecked(true);
}

void DatabaseForm::showChoice(const DatabaseChoice &choice)
{
    const std::optional<DatabaseLocation> location = OrbeBase::parseLocation(choice.location);
    if (choice.source == LocationSource::Default || !location) {
        setKind(Embedded);
    } else if (location->kind == DatabaseLocation::Kind::SQLite) {
        const bool embedded = QFileInfo(location->path) == QFileInfo(OrbeBase::defaultDatabasePath());
        m_sqlitePath->setText(QDir::toNativeSeparators(location->path));
        setKind(embedded ? Embedded : SqliteFile);
    } else if (location->kind == DatabaseLocation::Kind::PostgreSQL) {
        showPostgres(*location);
        setKind(PostgresServer);
    } else {
        showOdbc(location->connectionString);
        setKind(OdbcSource);
    }
}

void DatabaseForm::showPostgres(const DatabaseLocation &location)
{
    m_host->setText(location.host);
    m_port->setText(location.port > 0 ? QString::number(location.port) : QString());
    m_database->setText(location.database);
    m_user->setText(location.user);
    m_keptOptions = location.options;
    QString mode;
    for (const auto &[key, value] : location.options) {
        if (key == SslMode)
            mode = value;
    }
    m_keptOptions.removeIf([](const auto &option) { return option.first == SslMode; });
    m_tlsMode->setCurrentIndex(std::max(0, m_tlsMode->findData(mode)));
}

void DatabaseForm::showOdbc(const QString &connectionString)
{
    int index = m_dataSource->findData(connectionString);
    // Another connection string than a data source's is offered as it stands,
    // shown without its secrets.
    if (index < 0) {
        m_dataSource->addItem(shownOdbcConnectionString(connectionString), connectionString);
        index = m_dataSource->count() - 1;
    }
    m_dataSource->setCurrentIndex(index);
}

void DatabaseForm::chooseSqliteFile()
{
    const QString folder = m_sqlitePath->text().isEmpty() ? QString() : QFileInfo(m_sqlitePath->text()).absolutePath();
    const std::optional<QString> file = UserDialogs::current().chooseOpenFile(
        this, qtFileFilters(QStringLiteral("SQLite-Datenbank (*.sqlite;*.db;*.sqlite3)|*.sqlite;*.db;*.sqlite3|"
                                           "Alle Dateien (*.*)|*.*")),
        folder);
    if (file)
        m_sqlitePath->setText(QDir::toNativeSeparators(*file));
}

DatabaseLocation DatabaseForm::postgresLocation() const
{
    DatabaseLocation location;
    location.kind = DatabaseLocation::Kind::PostgreSQL;
    location.host = m_host->text().trimmed();
    location.port = m_port->text().isEmpty() ? -1 : m_port->text().toInt();
    location.database = m_database->text().trimmed();
    location.user = m_user->text().trimmed();
    location.password = m_password->text();
    location.options = m_keptOptions;
    if (const QString mode = m_tlsMode->currentData().toString(); !mode.isEmpty())
        location.options.prepend({SslMode, mode});
    return location;
}

std::optional<DatabaseLocation> DatabaseForm::location(QString *why) const
{
    QString text;
    switch (kind()) {
    case Embedded:
        text = OrbeBase::defaultDatabasePath();
        break;
    case SqliteFile:
        if (m_sqlitePath->text().trimmed().isEmpty()) {
            *why = QStringLiteral("Bitte wählen Sie die SQLite-Datei.");
            return std::nullopt;
        }
        text = QStringLiteral("sqlite:") + QDir::fromNativeSeparators(m_sqlitePath->text().trimmed());
        break;
    case PostgresServer:
        // Written out and read again: the same rules as for every location.
        text = postgresLocation().toString();
        break;
    case OdbcSource:
        if (m_dataSource->currentIndex() < 0) {
            *why = QStringLiteral("Bitte richten Sie zuerst eine ODBC-Datenquelle ein.");
            return std::nullopt;
        }
        text = QStringLiteral("odbc:") + m_dataSource->currentData().toString();
        break;
    }
    return OrbeBase::parseLocation(text, why);
}
