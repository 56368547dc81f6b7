#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace orvy::ui {

// Colours are stored as the integer 0x00BBGGRR: red in the low byte.
inline QColor colorFromBgr(qint32 value)
{
    const auto v = static_cast<quint32>(value);
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

// A caption's own text colour, painted instead of the theme's.
inline void setTextColour(QWidget *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(label->foregroundRole(), colour);
    label->setPalette(palette);
}

} // namespace orvy::ui
