#pragma once

#include <QString>

#include <memory>

class OrbeBase;
class OrbeConnection;
class QApplication;
class StartWindow;

// Start-up of the program.
namespace ModMain {

// Creates the database object, opens the database the settings name (asking
// for a PostgreSQL password that nothing gives) and shows the start window.
// Without a database a message box says why and offers "Datenbank wählen"
// where the database may be changed; when nothing else is taken, no window
// shows. Failures go to the
// error reporter as "ModMain", "Main". Runs once per program; tests call
// release() before running it again.
void Main();

// Main, then the event loop while a window is shown. Returns the program's
// exit status: the loop's, or 3 when Main showed no window (no database).
int runProgram();

// The program-wide objects Main created (nullptr before).
OrbeBase *orbeBase();
std::shared_ptr<OrbeConnection> connection();
StartWindow *startWindow();

// True while any window of the program is shown.
bool anyWindowOpen();

// Drops the windows, then the database object (the end of the program, and a
// fresh start for tests).
void release();

// German texts on Qt's own buttons and dialogs.
void installGermanTranslation(QApplication &application);

// The program's icon for all its windows, and the name of its desktop entry.
void installProgramIcon();

// Shows every error report in an error box (a run's at the end of the run).
void installErrorPresenter();

} // namespace ModMain
