#pragma once

#include <QString>

class OrbeConnection;

// The key of the active game species of that name. A species that is missing
// or not active is a failure (NoCurrentRecord), never a silent 0.
qint32 GetWildartId(OrbeConnection &connection, const QString &name);
