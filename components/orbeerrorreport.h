#pragma once

#include <QString>

#include <functional>

// What the program knows about itself, handed to the error reporter.
struct ApplicationInfo
{
    QString title;   // "Tarvel"
    QString path;    // folder of the executable
    static ApplicationInfo current();
};

// One reported error.
struct ErrorReportEntry
{
    QString application;
    QString place;     // "ModMain" or the window's name
    QString procedure; // "cmdImportStarten_Click", ...
    long number = 0;
    QString source;
    QString description;
    int line = 0;      // the error line

    QString toText() const;      // German, several lines, as the error log keeps it
    QString messageText() const; // German, as the program's message box shows it
};

// The component's error reporter. Every report is appended to the error log
// file in the user's data folder, then handed to the presenter (the program
// shows a message box; tests and headless front ends capture it).
class OrbeErrorReport
{
public:
    using Presenter = std::function<void(const ErrorReportEntry &)>;

    static OrbeErrorReport &global();

    // Replaces the presenter; returns the previous one.
    Presenter setPresenter(Presenter presenter);

    void ReportError(const ApplicationInfo &application, const QString &place,
                     const QString &procedure, long number, const QString &source,
                     const QString &description, int line);

    static QString errorLogPath();

private:
    Presenter m_presenter;
};
