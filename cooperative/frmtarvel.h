#pragma once

#include "importwindow.h"

// The hunting-cooperative import window.
class frmTarvel : public ImportWindow
{
    Q_OBJECT

public:
    frmTarvel();

protected:
    void runCheck() override;
    void runImport() override;
};
