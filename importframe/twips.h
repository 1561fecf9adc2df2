#pragma once

#include <QFont>
#include <QWidget>

// Window designs are measured in twips (1/1440 inch); Qt places widgets in
// device-independent pixels. The conversion happens only at the widget edge so
// that the design numbers stay exact.
struct TwipRect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const TwipRect &, const TwipRect &) = default;
};

inline int twipsToPixels(int twips, const QWidget *widget)
{
    return int(qRound64(double(twips) * widget->logicalDpiX() / 1440.0));
}

inline int pixelsToTwips(int pixels, const QWidget *widget)
{
    return int(qRound64(double(pixels) * 1440.0 / widget->logicalDpiX()));
}

inline QRect twipsToPixels(const TwipRect &rect, const QWidget *widget)
{
    // Converting both edges keeps neighbouring controls from drifting apart.
    const int x = twipsToPixels(rect.left, widget);
    const int y = twipsToPixels(rect.top, widget);
    return QRect(x, y, twipsToPixels(rect.left + rect.width, widget) - x,
                 twipsToPixels(rect.top + rect.height, widget) - y);
}

inline void placeInTwips(QWidget *child, const TwipRect &rect)
{
    child->setGeometry(twipsToPixels(rect, child));
}

// The designs were measured for an 8-point dialog font; Qt's usual 9-point
// font clips the longer button captions at the designed sizes.
inline void useDesignFont(QWidget *window)
{
    QFont font = window->font();
    font.setPointSize(8);
    window->setFont(font);
}
