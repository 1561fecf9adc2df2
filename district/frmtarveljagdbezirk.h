#pragma once

#include "importwindow.h"

// The hunting-district import window.
class frmTarvelJagdbezirk : public ImportWindow
{
    Q_OBJECT

public:
    frmTarvelJagdbezirk();

protected:
    void runCheck() override;
    void runImport() override;
};
