#pragma once

#include "importwindow.h"

// The hunting-district import window.
class DistrictWindow : public ImportWindow
{
    Q_OBJECT

public:
    DistrictWindow();
};
