#include "orbelink_qt.h"

#include <QAtomicInt>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlRecord>

#include <sqlite3.h>

namespace orbe {

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("tarvel-orbe-%1").arg(counter.fetchAndAddRelaxed(1) + 1);
}

bool sqliteFileMoved(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
    int moved = 0;
    return connection && sqlite3_file_control(connection, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK
           && moved != 0;
}

} // namespace orbe

namespace {

// An SQLite file through Qt's own driver, whose sqlite3 handle Tarvel
// reaches: its own busy handler, and the file's identity.
class SqliteLink final : public QtSqlLink
{
public:
    SqliteLink(QString connectionName, std::shared_ptr<DatabaseWaits> waits)
        : QtSqlLink(std::move(connectionName), waits)
    {
    }
    QSqlError openFile(const QString &path)
    {
        return open(QStringLiteral("QSQLITE"), [&path](QSqlDatabase &db) { db.setDatabaseName(path); });
    }
    QString sqliteFile() const override { return database().databaseName(); }
    bool fileReplaced() const override { return orbe::sqliteFileMoved(database()); }

protected:
    QSqlError afterOpen() override
    {
        if (m_waits->lock)
            m_waits->lock->install(database());
        return {};
    }
};

} // namespace

QtSqlLink::QtSqlLink(QString connectionName, std::shared_ptr<DatabaseWaits> waits)
    : m_connectionName(std::move(connectionName))
    , m_waits(std::move(waits))
{
}

QtSqlLink::~QtSqlLink()
{
    close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

std::unique_ptr<QtSqlLink> QtSqlLink::openSqlite(const QString &path, std::shared_ptr<DatabaseWaits> waits, QSqlError &error)
{
    auto link = std::make_unique<SqliteLink>(orbe::nextConnectionName(), waits);
    error = link->openFile(path);
    if (error.isValid())
        return nullptr;
    return link;
}

QSqlError QtSqlLink::open(const QString &driver, const std::function<void(QSqlDatabase &)> &configure)
{
    QSqlError error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_connectionName);
        if (!db.isValid()) {
            error = QSqlError(QString(), QStringLiteral("Der Qt-Treiber %1 fehlt").arg(driver),
                              QSqlError::ConnectionError);
        } else {
            configure(db);
            error = openDatabase();
        }
    }
    if (error.isValid()) {
        close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
    return error;
}

QSqlError QtSqlLink::openDatabase()
{
    QSqlDatabase db = database();
    if (!db.open())
        return db.lastError();
    // A driver may ignore a failure of its own set-up statements: a
    // connection lost meanwhile is "opened" but closed.
    if (!db.isOpen())
        return QSqlError(QString(), QStringLiteral("Die Verbindung brach ab, während sie aufgebaut wurde"),
                         QSqlError::ConnectionError);
    return afterOpen();
}

QSqlError QtSqlLink::afterOpen()
{
    return {};
}

bool QtSqlLink::isOpen() const
{
    return database().isOpen();
}

QSqlQuery QtSqlLink::newQuery() const
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    return query;
}

bool QtSqlLink::execute(QSqlQuery &query)
{
    return query.exec();
}

bool QtSqlLink::readRows(QSqlQuery &query, OrbeRows &rows, QSqlError &error) const
{
    rows.affected = query.numRowsAffected();
    if (!query.isSelect())
        return true;
    const QSqlRecord record = query.record();
    rows.names.clear();
    rows.types.clear();
    rows.rows.clear();
    for (int i = 0; i < record.count(); ++i) {
        rows.names << record.fieldName(i);
        rows.types << record.field(i).metaType();
    }
    while (query.next()) {
        QList<QVariant> row(record.count());
        for (int i = 0; i < row.size(); ++i)
            row[i] = query.value(i);
        rows.rows.push_back(std::move(row));
    }
    if (query.lastError().isValid()) {
        error = errorOf(query);
        return false;
    }
    return true;
}

bool QtSqlLink::run(const QString &sql, const QVariantList &values, bool keep, OrbeRows *rows, QSqlError &error)
{
    if (!isOpen()) {
        error = QSqlError(QString(), QStringLiteral("Die Verbindung ist nicht offen"), QSqlError::ConnectionError);
        return false;
    }
    QSqlQuery once;
    QSqlQuery *query = nullptr;
    if (keep) {
        auto found = m_prepared.find(sql);
        if (found == m_prepared.end()) {
            QSqlQuery fresh = newQuery();
            if (!fresh.prepare(sql)) {
                error = errorOf(fresh);
                return false;
            }
            found = m_prepared.insert(sql, fresh);
        }
        query = &found.value();
    } else {
        once = newQuery();
        query = &once;
        if (!values.isEmpty() && !query->prepare(sql)) {
            error = errorOf(*query);
            return false;
        }
    }
    for (qsizetype i = 0; i < values.size(); ++i)
        query->bindValue(int(i), values[i]);
    const bool done = values.isEmpty() && !keep ? executeDirectly(*query, sql) : execute(*query);
    bool read = done;
    if (!done)
        error = errorOf(*query);
    else if (rows)
        read = readRows(*query, *rows, error);
    // Finished at once: an unfinished query holds a transaction open.
    query->finish();
    return read;
}

bool QtSqlLink::runTogether(const QString &statements, QSqlError &error)
{
    return run(statements, {}, false, nullptr, error);
}

QString QtSqlLink::escapeIdentifier(const QString &name) const
{
    const QSqlDatabase db = database();
    return db.driver() ? db.driver()->escapeIdentifier(name, QSqlDriver::FieldName) : name;
}

QSqlError QtSqlLink::reopen()
{
    forgetStatements();
    {
        QSqlDatabase db = database();
        db.close();
    }
    return openDatabase();
}

void QtSqlLink::close()
{
    forgetStatements();
    QSqlDatabase db = database();
    if (db.isValid())
        db.close();
}
