#pragma once

#include "importwindow.h"

// The hunting-cooperative import window.
class CooperativeWindow : public ImportWindow
{
    Q_OBJECT

public:
    CooperativeWindow();
};
