#pragma once

#include <QPalette>

namespace orvy::ui {

// The style's own standard colours, untouched by the application's dark palette:
// selections and scroll bars are meant to look as the platform draws them.
// Every role of every group is marked as set, so a widget holding this palette
// keeps these colours whatever the application palette says.
QPalette platformPalette();

} // namespace orvy::ui
