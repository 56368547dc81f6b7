#pragma once

#include <functional>

class QWidget;

namespace orvy::app {

// Runs work once, right after the first paint of window (a shown top-level widget) has
// gone to the screen; at once when the window is already on the screen. Work that the
// window does not need to show (its icon) waits here instead of holding up the first
// show. Nothing runs if the window never reaches the screen.
void afterFirstPaint(QWidget *window, std::function<void()> work);

} // namespace orvy::app
