#pragma once

#include "twips.h"

#include <QSize>

// The import window's layout in twips, as a value: the designed places of
// the controls, and the rule that fits the text box, the progress bar and the
// status bar to the window's inner size. The widgets follow it; it is worked
// out without them.
struct ImportWindowLayout
{
    static constexpr int DesignWidth = 15075;
    static constexpr int DesignHeight = 9225;
    static constexpr int Panel1Width = 8000;
    static constexpr TwipRect CmdDatei{120, 120, 4155, 375};
    static constexpr TwipRect CmdImportTest{4500, 120, 1935, 375};
    static constexpr TwipRect CmdImportStarten{6660, 120, 2055, 375};
    static constexpr TwipRect CmdBeenden{8880, 120, 1995, 375};
    static constexpr TwipRect CmdImportZuruecknehmen{11100, 120, 2835, 375};
    // The button row with its margin on both sides: the window's least width.
    static constexpr int ButtonRowWidth = CmdImportZuruecknehmen.left + CmdImportZuruecknehmen.width + CmdDatei.left;
    static constexpr TwipRect ProgressBarDesign{120, 8520, 14775, 375};
    static constexpr int StatusBarDesignHeight = 255;
    static constexpr int Panel2DesignWidth = 1440;

    // The design: txt1Design is the window kind's text box, statusBarHeight
    // what the status bar's panels need (at least the designed height).
    ImportWindowLayout(const TwipRect &txt1Design, int statusBarHeight);

    // Fits the controls to an inner size. Each step reads what the steps
    // before it left; a size below zero is refused and that step alone is
    // skipped.
    void resize(int width, int height);

    TwipRect statusBar() const;

    QSize inner{DesignWidth, DesignHeight};
    TwipRect txt1;
    TwipRect progress = ProgressBarDesign;
    int panel2Width = Panel2DesignWidth;
    int statusBarHeight;
};
