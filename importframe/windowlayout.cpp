#include "windowlayout.h"

#include <algorithm>

ImportWindowLayout::ImportWindowLayout(const TwipRect &txt1Design, int statusBarHeight)
    : txt1(txt1Design)
    , statusBarHeight(std::max(StatusBarDesignHeight, statusBarHeight))
{
}

void ImportWindowLayout::resize(int width, int height)
{
    inner = QSize(width, height);
    auto setSize = [](int &size, int value) {
        if (value >= 0)
            size = value;
    };
    setSize(txt1.width, width - 2 * txt1.left);
    setSize(txt1.height, height - txt1.top - statusBarHeight - progress.height - 60);
    setSize(progress.width, txt1.width);
    progress.top = txt1.top + txt1.height + 30;
    setSize(panel2Width, width - Panel1Width);
}

TwipRect ImportWindowLayout::statusBar() const
{
    return {0, inner.height() - statusBarHeight, inner.width(), statusBarHeight};
}
