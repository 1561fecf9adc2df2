#pragma once

#include <QString>

#include <optional>

class OrbeConnection;

// The key of the active game species of that name. A species that is missing
// or not active is a failure (NoCurrentRecord), never a silent 0.
qint32 GetWildartId(OrbeConnection &connection, const QString &name);

// The key of one species, looked up when a run first needs it and kept for the
// rest of the run; a run that adds no record never asks.
class SpeciesKey
{
public:
    explicit SpeciesKey(QString name) : m_name(std::move(name)) {}
    qint32 get(OrbeConnection &connection)
    {
        if (!m_key)
            m_key = GetWildartId(connection, m_name);
        return *m_key;
    }

private:
    QString m_name;
    std::optional<qint32> m_key;
};
