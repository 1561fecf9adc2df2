#pragma once

#include <QString>

#include <memory>

class OrbeBase;
class OrbeConnection;
class QApplication;
class StartWindow;

// Start-up of the program.
namespace ModMain {

// Creates the database object, opens the database and shows the start window.
// Without a database nothing is shown and nothing said. Failures go to the
// error reporter as "ModMain", "Main". Runs once per program; tests call
// release() before running it again.
void Main();

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

// The program's icon for all its windows.
void installProgramIcon();

// Shows every error report in a message box.
void installErrorPresenter();

} // namespace ModMain
