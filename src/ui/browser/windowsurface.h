#pragma once

class QWidget;

namespace orvy::ui::browser {

// Makes the native window that widget lies in able to show the web view as it is,
// before the view joins it: the view draws through OpenGL into a texture that the
// window composes. A window made for plain drawing cannot, and the toolkit then
// destroys its native window and makes a new one as the view arrives: the window
// vanishes, shows black and the welcome panel again, loses its activation, and the
// window manager forgets its normal size and place. True when the window is ready
// (also when it already was); false when it could not be made so here, and the
// toolkit will make it anew as before.
bool prepareWindowForView(QWidget *widget);

} // namespace orvy::ui::browser
