#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

// The batch program: the windows' check and import runs without a window,
// and the taking back of an import.

enum class BatchAction { Check, Import, Undo, Database };
enum class BatchKind { District, Cooperative };

struct BatchOptions
{
    bool help = false;
    BatchAction action = BatchAction::Check;
    BatchKind kind = BatchKind::District;
    bool ignoreLayout = false;       // import a workbook whose layout does not fit its kind
    std::optional<QString> database; // in the form TARVEL_DATABASE takes
    std::optional<QString> setting;  // database --setting: a location to check, not to open
    QString workbook;                // as given; undo: the import's log file
};

// Exit statuses.
namespace BatchExit {
constexpr int Done = 0;
constexpr int RunFailed = 1; // also when the import's log file could not be written
constexpr int Usage = 2;            // also an import refused for a workbook whose layout does not fit, and
                                    // undo data missing, unreadable, damaged or of another database
constexpr int NoDatabase = 3;
constexpr int Signalled = 128; // plus the signal that stopped the run after a row
} // namespace BatchExit

// Reads the arguments that follow the program's name; nothing, with the reason
// in error, for a call that does not fit the usage.
std::optional<BatchOptions> parseBatchArguments(const QStringList &arguments, QString *error);

// The usage lines, and the whole help text.
QString batchUsage();
QString batchHelp();

// "database": prints the location in use (without its password) and where it
// comes from, then opens it; 0 when it opens and is Tarvel's, else 3 with the
// cause on messages. With --setting, whether that location may stand in a
// setting (the installer's check), without opening it: 0, else 2.
int showDatabase(const BatchOptions &options, std::FILE *out, std::FILE *messages);

// The whole program after the application object is made: runs one run and
// returns the exit status. The arguments come as the system passed them; the
// log goes to out, everything else to messages.
int runBatch(const QList<QByteArray> &nativeArguments, std::FILE *out, std::FILE *messages);
