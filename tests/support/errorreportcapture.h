#pragma once

#include "orbeerrorreport.h"

#include <QList>

// Captures the error reports made while it lives, instead of presenting them.
class ErrorReportCapture
{
public:
    QList<ErrorReportEntry> reports;

    ErrorReportCapture()
    {
        m_previous = OrbeErrorReport::global().setPresenter(
            [this](const ErrorReportEntry &entry) { reports << entry; });
    }
    ~ErrorReportCapture() { OrbeErrorReport::global().setPresenter(m_previous); }

private:
    OrbeErrorReport::Presenter m_previous;
};
