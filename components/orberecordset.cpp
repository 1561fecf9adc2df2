#include "orberecordset.h"

#include "orbeinternal.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>

#include <cmath>
#include <limits>
#include <optional>

QString valueText(const QVariant &value)
{
    // A PostgreSQL NULL arrives typed; its toString() would read "0" or "false".
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("Wahr") : QStringLiteral("Falsch");
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 1e15)
            return QString::number(static_cast<qint64>(number));
        QString text = QString::number(number, 'g', QLocale::FloatingPointShortest);
        text.replace(u'.', u',');
        return text;
    }
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("dd.MM.yyyy"));
    case QMetaType::QDateTime: {
        const QDateTime moment = value.toDateTime();
        if (moment.time() == QTime(0, 0))
            return moment.date().toString(QStringLiteral("dd.MM.yyyy"));
        return moment.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    }
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("hh:mm:ss"));
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.toString();
    }
}

namespace {

bool isIntegerType(int type)
{
    switch (type) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

QString quoted(const QString &name)
{
    return QStringLiteral("„") + name + QStringLiteral("“");
}

// "Column = 'text'" with blanks around its parts and a quote inside the text
// doubled. Scanned by hand: a pattern with repeated alternatives gives up on
// texts of some ten thousand characters.
bool parseEqualsCriterion(QStringView criterion, QString &column, QString &text)
{
    qsizetype i = 0;
    const qsizetype end = criterion.size();
    auto skipBlanks = [&] {
        while (i < end && criterion[i].isSpace())
            ++i;
    };
    auto isNameStart = [](QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_'; };
    auto isNamePart = [&](QChar c) { return isNameStart(c) || (c >= u'0' && c <= u'9'); };

    skipBlanks();
    const qsizetype nameStart = i;
    if (i == end || !isNameStart(criterion[i]))
        return false;
    while (i < end && isNamePart(criterion[i]))
        ++i;
    column = criterion.sliced(nameStart, i - nameStart).toString();
    skipBlanks();
    if (i == end || criterion[i] != u'=')
        return false;
    ++i;
    skipBlanks();
    if (i == end || criterion[i] != u'\'')
        return false;
    ++i;
    text.clear();
    for (;;) {
        const qsizetype quote = criterion.indexOf(u'\'', i);
        if (quote < 0)
            return false;
        text += criterion.sliced(i, quote - i);
        i = quote + 1;
        if (i < end && criterion[i] == u'\'') {
            text += u'\'';
            ++i;
            continue;
        }
        break;
    }
    skipBlanks();
    return i == end;
}

Failure typeMismatch(const QString &column, const QVariant &value, const QString &expected)
{
    return Failure(ErrorNumber::TypeMismatch, ErrorSource::Database,
                   QStringLiteral("Typen unverträglich: %1 ist für das Feld %2 kein %3.")
                       .arg(quoted(valueText(value)), quoted(column), expected));
}

// The value as the column's type, so that it is stored (and read back) as that
// type on every database instead of as the text the caller happened to hold.
QVariant convertForColumn(const QVariant &value, QMetaType columnType, bool postgres,
                          const QString &column)
{
    const int type = columnType.id();
    if (!value.isValid() || value.isNull())
        return QVariant();
    if (isIntegerType(type)) {
        qlonglong number = 0;
        bool ok = false;
        switch (value.typeId()) {
        case QMetaType::Bool:
            number = value.toBool() ? 1 : 0;
            ok = true;
            break;
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = value.toDouble();
            ok = std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.2e18;
            number = ok ? static_cast<qlonglong>(d) : 0;
            break;
        }
        case QMetaType::QString:
            number = value.toString().trimmed().toLongLong(&ok);
            break;
        default:
            number = value.toLongLong(&ok);
        }
        if (!ok)
            throw typeMismatch(column, value, QStringLiteral("ganze Zahl"));
        if (type == QMetaType::Int
            && (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max()))
            throw Failure(ErrorNumber::Overflow, ErrorSource::Database,
                          QStringLiteral("Überlauf: %1 passt nicht in das Feld %2.")
                              .arg(number).arg(quoted(column)));
        if (type == QMetaType::Int)
            return QVariant(static_cast<int>(number));
        return QVariant(number);
    }
    if (type == QMetaType::Bool) {
        if (value.typeId() == QMetaType::Bool)
            return value;
        if (value.typeId() == QMetaType::QString) {
            const QString text = value.toString().trimmed();
            if (text.compare(QLatin1String("Wahr"), Qt::CaseInsensitive) == 0
                || text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                return true;
            if (text.compare(QLatin1String("Falsch"), Qt::CaseInsensitive) == 0
                || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                return false;
        }
        bool ok = false;
        const double number = value.toString().trimmed().toDouble(&ok);
        if (!ok)
            throw typeMismatch(column, value, QStringLiteral("Wahrheitswert"));
        return number != 0;
    }
    if (type == QMetaType::Double || type == QMetaType::Float) {
        bool ok = false;
        double number = 0;
        if (value.typeId() == QMetaType::QString)
            number = value.toString().trimmed().replace(u',', u'.').toDouble(&ok);
        else
            number = value.toDouble(&ok);
        if (!ok)
            throw typeMismatch(column, value, QStringLiteral("Zahl"));
        return number;
    }
    if (type == QMetaType::QString && postgres && value.typeId() != QMetaType::QString)
        return value.toString();
    return value;
}

// SQLite hands booleans over as 0/1; the declared column type says what they are.
QVariant normalised(const QVariant &raw, QMetaType columnType)
{
    if (raw.isNull())
        return QVariant();
    if (columnType.id() == QMetaType::Bool && raw.typeId() != QMetaType::Bool)
        return QVariant(raw.toLongLong() != 0);
    return raw;
}

// PostgreSQL folds unquoted names to lower case. Columns of the project's
// schema are shown as the schema spells them, so a listing reads the same on
// both databases; statements keep using the names the driver reports.
QString displayName(const QString &driverName)
{
    static const QHash<QString, QString> spelling = [] {
        QHash<QString, QString> names;
        static const QRegularExpression identifier(QStringLiteral(R"(\b[A-Za-z_][A-Za-z0-9_]*\b)"));
        const QString script = orbeSchemaScript(false);
        for (auto it = identifier.globalMatch(script); it.hasNext();) {
            const QString name = it.next().captured();
            if (name != name.toLower() && name != name.toUpper())
                names.insert(name.toLower(), name);
        }
        return names;
    }();
    if (driverName != driverName.toLower())
        return driverName;
    return spelling.value(driverName, driverName);
}

} // namespace

struct OrbeRecordset::Impl
{
    enum class Pending { None, Edit, AddNew };

    std::shared_ptr<OrbeConnectionState> state;
    OpenMode mode = OpenMode::Lookup;
    QString statement;
    QString table;             // the one table of an editable recordset
    QList<int> keyColumns;     // its primary key, as columns of the result

    QStringList names;    // as shown by OrbeField::Name()
    QStringList sqlNames; // as the driver reports them, for statements
    QList<QMetaType> types;
    QHash<QString, int> columnByName; // lower-case name
    std::vector<QList<QVariant>> rows;

    bool filtered = false;
    std::vector<int> visible;
    std::size_t position = 0;
    // Per column: text form -> rows, built on the first filter on that column.
    std::vector<std::optional<QHash<QString, std::vector<int>>>> textIndex;

    Pending pending = Pending::None;
    QList<QVariant> buffer;
    std::vector<bool> changed;
    int editedRow = -1;

    ~Impl() { state->rollback(this); }

    std::size_t visibleCount() const { return filtered ? visible.size() : rows.size(); }
    int currentRow() const
    {
        if (position >= visibleCount())
            return -1;
        return filtered ? visible[position] : static_cast<int>(position);
    }

    void discardPending()
    {
        pending = Pending::None;
        buffer.clear();
        changed.clear();
        editedRow = -1;
    }

    void requireEditable() const
    {
        if (mode != OpenMode::Editable)
            throw Failure(ErrorNumber::NotUpdatable, ErrorSource::Database,
                          QStringLiteral("Die Datensatzgruppe ist schreibgeschützt (Öffnungsmodus 4)."));
    }

    void requireOpen() const
    {
        if (!state->open)
            throw Failure(ErrorNumber::NotConnected, ErrorSource::Database,
                          QStringLiteral("Die Datenbankverbindung ist geschlossen."));
    }

    // An edit or new row after an Update belongs to a transaction again,
    // unless another recordset's transaction is open, which it joins.
    void ensureTransaction()
    {
        if (!state->transactionOwner)
            state->beginTransaction(this, table);
    }

    int column(const QString &name) const
    {
        const auto found = columnByName.constFind(name.toLower());
        if (found == columnByName.cend())
            throw Failure(ErrorNumber::FieldNotFound, ErrorSource::Database,
                          QStringLiteral("Das Feld %1 ist in der Datensatzgruppe nicht vorhanden.")
                              .arg(quoted(name)));
        return found.value();
    }

    Failure noCurrentRecord() const
    {
        return Failure(ErrorNumber::NoCurrentRecord, ErrorSource::Database,
                       QStringLiteral("Kein aktueller Datensatz."));
    }

    const QVariant &value(int col) const
    {
        if (pending != Pending::None)
            return buffer[col];
        const int row = currentRow();
        if (row < 0)
            throw noCurrentRecord();
        return rows[row][col];
    }

    void setValue(int col, const QVariant &value)
    {
        requireEditable();
        if (pending == Pending::None) {
            if (currentRow() < 0)
                throw noCurrentRecord();
            throw Failure(ErrorNumber::UpdateWithoutEdit, ErrorSource::Database,
                          QStringLiteral("Das Feld %1 kann nur nach Edit oder AddNew geändert werden.")
                              .arg(quoted(names[col])));
        }
        buffer[col] = convertForColumn(value, types[col], state->postgres, names[col]);
        changed[col] = true;
    }

    QList<QVariant> readRow(const QSqlQuery &query) const
    {
        QList<QVariant> row(names.size());
        const QSqlRecord record = query.record();
        for (int i = 0; i < record.count(); ++i) {
            const auto found = columnByName.constFind(record.fieldName(i).toLower());
            if (found != columnByName.cend())
                row[found.value()] = normalised(query.value(i), types[found.value()]);
        }
        return row;
    }

    void update();
    void insert();
    // The prepared write statement with the given columns of the buffer bound
    // first; position is where further values go.
    QSqlQuery &preparedWrite(const QString &sql, const QString &failureText, const QList<int> &columns,
                             int &position);
    void writeEdit();
};

QSqlQuery &OrbeRecordset::Impl::preparedWrite(const QString &sql, const QString &failureText,
                                             const QList<int> &columns, int &position)
{
    QSqlError error;
    QSqlQuery *query = state->preparedQuery(sql, error);
    if (!query)
        throw state->refused(failureText, error, sql);
    for (int col : columns)
        query->bindValue(position++, buffer[col].isNull() ? QVariant(types[col]) : buffer[col]);
    return *query;
}

void OrbeRecordset::Impl::update()
{
    requireEditable();
    if (pending == Pending::None)
        throw Failure(ErrorNumber::UpdateWithoutEdit, ErrorSource::Database,
                      QStringLiteral("Update ohne vorheriges Edit oder AddNew."));
    requireOpen();
    if (pending == Pending::Edit)
        writeEdit();
    else
        insert();
    state->commit(this);
    discardPending();
}

void OrbeRecordset::Impl::writeEdit()
{
    QList<int> columns;
    for (int i = 0; i < names.size(); ++i) {
        if (changed[i])
            columns << i;
    }
    if (columns.isEmpty())
        return;

    QSqlDatabase db = state->database();
    QSqlDriver *driver = db.driver();
    QStringList assignments;
    for (int col : std::as_const(columns))
        assignments << driver->escapeIdentifier(sqlNames[col], QSqlDriver::FieldName) + QStringLiteral(" = ?");
    QStringList conditions;
    for (int col : std::as_const(keyColumns))
        conditions << driver->escapeIdentifier(sqlNames[col], QSqlDriver::FieldName) + QStringLiteral(" = ?");
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                            .arg(table, assignments.join(QStringLiteral(", ")),
                                 conditions.join(QStringLiteral(" AND ")));

    int position = 0;
    QSqlQuery *query = &preparedWrite(sql, QStringLiteral("Der Datensatz konnte nicht gespeichert werden"),
                                      columns, position);
    const QList<QVariant> &original = rows[editedRow];
    for (int col : std::as_const(keyColumns))
        query->bindValue(position++, original[col]);
    const bool done = [&] {
        AnswerWatch watched = state->watch();
        return query->exec();
    }();
    const int affected = done ? query->numRowsAffected() : 0;
    const QSqlError execError = query->lastError();
    query->finish();
    if (!done)
        throw state->refused(QStringLiteral("Der Datensatz konnte nicht gespeichert werden"), execError, sql);
    if (affected == 0)
        throw orbe::failure(ErrorNumber::DatabaseError,
                            QStringLiteral("Der bearbeitete Datensatz ist in der Datenbank nicht mehr vorhanden"),
                            {}, statement);

    for (int col : std::as_const(columns)) {
        rows[editedRow][col] = buffer[col];
        textIndex[col].reset();
    }
}

void OrbeRecordset::Impl::insert()
{
    QSqlDatabase db = state->database();
    QSqlDriver *driver = db.driver();
    QList<int> columns;
    for (int i = 0; i < names.size(); ++i) {
        if (changed[i])
            columns << i;
    }
    QString sql;
    if (columns.isEmpty()) {
        sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
    } else {
        QStringList fieldList;
        QStringList placeholders;
        for (int col : std::as_const(columns)) {
            fieldList << driver->escapeIdentifier(sqlNames[col], QSqlDriver::FieldName);
            placeholders << QStringLiteral("?");
        }
        sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(table, fieldList.join(QStringLiteral(", ")), placeholders.join(QStringLiteral(", ")));
    }
    // The generated key and the column defaults are read back, so that the new
    // row reads as the database stored it.
    if (state->postgres)
        sql += QStringLiteral(" RETURNING *");

    int position = 0;
    QSqlQuery *query = &preparedWrite(sql, QStringLiteral("Der neue Datensatz konnte nicht gespeichert werden"),
                                      columns, position);
    AnswerWatch watched = state->watch();
    if (!query->exec()) {
        const QSqlError execError = query->lastError();
        query->finish();
        throw state->refused(QStringLiteral("Der neue Datensatz konnte nicht gespeichert werden"), execError, sql);
    }

    QList<QVariant> row = buffer;
    if (state->postgres) {
        if (query->next())
            row = readRow(*query);
        query->finish();
    } else {
        const QVariant rowid = query->lastInsertId();
        query->finish();
        const QString reread = QStringLiteral("SELECT * FROM %1 WHERE rowid = ?").arg(table);
        QSqlError error;
        QSqlQuery *back = rowid.isValid() ? state->preparedQuery(reread, error) : nullptr;
        if (back) {
            back->bindValue(0, rowid);
            if (back->exec() && back->next())
                row = readRow(*back);
            back->finish();
        }
    }

    // SQLite stores NULL in a key that is no row-id alias (BIGINT PRIMARY KEY):
    // such a record could never be found again by its key.
    for (int col : std::as_const(keyColumns)) {
        if (row[col].isNull())
            throw orbe::failure(ErrorNumber::DatabaseError,
                                QStringLiteral("Der neue Datensatz bekam von der Datenbank keinen Schlüssel "
                                               "(Spalte %1); er wird nicht gespeichert").arg(quoted(names[col])),
                                {}, sql);
    }
    rows.push_back(row);
    const int index = static_cast<int>(rows.size()) - 1;
    for (auto &columnIndex : textIndex)
        columnIndex.reset();
    if (filtered) {
        visible.push_back(index);
        position = visible.size() - 1;
    } else {
        position = static_cast<std::size_t>(index);
    }
}

std::unique_ptr<OrbeRecordset> OrbeConnection::OpenRecordset(const QString &statement, int mode)
{
    switch (mode) {
    case static_cast<int>(OpenMode::Lookup):
        return OpenRecordset(statement, OpenMode::Lookup);
    case static_cast<int>(OpenMode::Editable):
        return OpenRecordset(statement, OpenMode::Editable);
    default:
        throw Failure(ErrorNumber::InvalidArgument, ErrorSource::Database,
                      QStringLiteral("Unbekannter Öffnungsmodus %1.").arg(mode));
    }
}

std::unique_ptr<OrbeRecordset> OrbeConnection::OpenRecordset(const QString &statement, OpenMode mode)
{
    auto impl = std::make_unique<OrbeRecordset::Impl>();
    impl->state = m_state;
    impl->mode = mode;
    impl->statement = statement;
    impl->requireOpen();

    if (mode == OpenMode::Editable) {
        static const QRegularExpression oneTable(
            QStringLiteral(R"(^\s*select\s+\*\s+from\s+([A-Za-z_][A-Za-z0-9_]*)(\s+(where|order)\b.*|\s*;?\s*)$)"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch match = oneTable.match(statement);
        if (!match.hasMatch())
            throw orbe::failure(ErrorNumber::NotUpdatable,
                                QStringLiteral("Bearbeitbar ist nur „select * from Tabelle …“"), {}, statement);
        impl->table = match.captured(1);
        impl->ensureTransaction();
    } else {
        m_state->beforeStatement();
    }

    QSqlDatabase db = database();
    QSqlQuery query = m_state->newQuery();
    // Rows may arrive from the server while they are read.
    AnswerWatch watched = m_state->watch();
    if (!m_state->run(query, statement, mode == OpenMode::Lookup))
        throw m_state->refused(QStringLiteral("Die Datenbank hat die Anweisung abgelehnt"), query.lastError(), statement);
    if (!query.isSelect())
        throw orbe::failure(ErrorNumber::DatabaseError,
                            QStringLiteral("Die Anweisung liefert keine Datensätze"), {}, statement);

    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i) {
        const QSqlField field = record.field(i);
        impl->sqlNames << field.name();
        impl->names << (m_state->postgres ? displayName(field.name()) : field.name());
        impl->types << field.metaType();
    }
    // Of equal names (a join) the first column wins.
    for (int i = record.count() - 1; i >= 0; --i)
        impl->columnByName.insert(impl->names[i].toLower(), i);

    const int columnCount = impl->names.size();
    while (query.next()) {
        QList<QVariant> row(columnCount);
        for (int i = 0; i < columnCount; ++i)
            row[i] = normalised(query.value(i), impl->types[i]);
        impl->rows.push_back(std::move(row));
    }
    if (query.lastError().isValid())
        throw m_state->refused(QStringLiteral("Die Datensätze konnten nicht gelesen werden"), query.lastError(),
                               statement);
    impl->textIndex.resize(columnCount);

    if (mode == OpenMode::Editable) {
        const QString tableKey = impl->table.toLower();
        auto known = m_state->primaryKeys.constFind(tableKey);
        if (known == m_state->primaryKeys.cend()) {
            QSqlIndex index = db.primaryIndex(impl->table);
            if (index.isEmpty() && m_state->postgres)
                index = db.primaryIndex(tableKey); // unquoted names are stored lower-case
            QStringList keyNames;
            for (int i = 0; i < index.count(); ++i)
                keyNames << index.fieldName(i);
            known = m_state->primaryKeys.insert(tableKey, keyNames);
        }
        for (const QString &keyName : known.value()) {
            const auto col = impl->columnByName.constFind(keyName.toLower());
            if (col != impl->columnByName.cend())
                impl->keyColumns << col.value();
        }
        if (impl->keyColumns.size() != known.value().size())
            impl->keyColumns.clear();
    }

    return std::unique_ptr<OrbeRecordset>(new OrbeRecordset(std::move(impl)));
}

OrbeRecordset::OrbeRecordset(std::unique_ptr<Impl> impl)
    : d(std::move(impl))
{
}

OrbeRecordset::~OrbeRecordset() = default;

bool OrbeRecordset::HasRecords() const
{
    return d->visibleCount() > 0 && d->currentRow() >= 0;
}

bool OrbeRecordset::HasCurrent() const
{
    return d->currentRow() >= 0;
}

bool OrbeRecordset::Eof() const
{
    return d->currentRow() < 0;
}

void OrbeRecordset::MoveNext()
{
    d->discardPending();
    if (d->currentRow() < 0)
        throw d->noCurrentRecord();
    ++d->position;
}

void OrbeRecordset::Filter(const QString &criterion)
{
    d->discardPending();
    if (criterion.isEmpty()) {
        d->filtered = false;
        d->visible.clear();
        d->position = 0;
        return;
    }
    QString column;
    QString text;
    if (!parseEqualsCriterion(criterion, column, text))
        throw Failure(ErrorNumber::InvalidFilter, ErrorSource::Database,
                      QStringLiteral("Ungültiger Filter %1: erwartet wird „Feld = 'Text'“.")
                          .arg(quoted(orbe::shortened(criterion))));
    const int col = d->column(column);

    auto &index = d->textIndex[col];
    if (!index) {
        index.emplace();
        // As in SQL, NULL equals no text, not even the empty one: a row
        // without a number must not find a collection without one.
        for (int row = 0; row < static_cast<int>(d->rows.size()); ++row) {
            if (!d->rows[row][col].isNull())
                (*index)[valueText(d->rows[row][col])].push_back(row);
        }
    }
    const auto found = index->constFind(text);
    d->visible = found == index->cend() ? std::vector<int>() : found.value();
    d->filtered = true;
    d->position = 0;
}

OrbeFields OrbeRecordset::Fields()
{
    return OrbeFields(this);
}

void OrbeRecordset::Edit()
{
    d->requireEditable();
    d->discardPending();
    const int row = d->currentRow();
    if (row < 0)
        throw d->noCurrentRecord();
    if (d->keyColumns.isEmpty())
        throw Failure(ErrorNumber::NotUpdatable, ErrorSource::Database,
                      QStringLiteral("Die Tabelle %1 hat keinen Primärschlüssel; ihre Datensätze können "
                                     "nicht bearbeitet werden.").arg(quoted(d->table)));
    d->requireOpen();
    d->ensureTransaction();
    d->pending = Impl::Pending::Edit;
    d->buffer = d->rows[row];
    d->changed.assign(d->names.size(), false);
    d->editedRow = row;
}

void OrbeRecordset::AddNew()
{
    d->requireEditable();
    d->discardPending();
    d->requireOpen();
    d->ensureTransaction();
    d->pending = Impl::Pending::AddNew;
    d->buffer = QList<QVariant>(d->names.size());
    d->changed.assign(d->names.size(), false);
}

void OrbeRecordset::Update()
{
    d->update();
}

int OrbeRecordset::rowCount() const
{
    return static_cast<int>(d->visibleCount());
}

OrbeFields::OrbeFields(OrbeRecordset *recordset)
    : m_recordset(recordset)
{
}

OrbeField OrbeFields::Item(const QString &name) const
{
    return OrbeField(m_recordset, m_recordset->d->column(name));
}

OrbeField OrbeFields::Item(int index) const
{
    if (index < 0 || index >= Count())
        throw Failure(ErrorNumber::FieldNotFound, ErrorSource::Database,
                      QStringLiteral("Die Datensatzgruppe hat kein Feld Nummer %1.").arg(index));
    return OrbeField(m_recordset, index);
}

int OrbeFields::Count() const
{
    return m_recordset->d->names.size();
}

OrbeField::OrbeField(OrbeRecordset *recordset, int column)
    : m_recordset(recordset)
    , m_column(column)
{
}

QString OrbeField::Name() const
{
    return m_recordset->d->names[m_column];
}

QVariant OrbeField::Value() const
{
    return m_recordset->d->value(m_column);
}

void OrbeField::setValue(const QVariant &value)
{
    m_recordset->d->setValue(m_column, value);
}

void OrbeField::setValue(const OrbeField &other)
{
    setValue(other.Value());
}

QString OrbeField::text() const
{
    return valueText(Value());
}
