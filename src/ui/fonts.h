#pragma once

#include <QFont>

namespace orvy::ui {

// Segoe UI where it exists, else a family that carries Latin and Arabic script.
QFont segoeUi(int pixelSize, bool bold = false);

// The product title's font: Noto Kufi Arabic bold.
QFont kufiTitle(int pixelSize);

} // namespace orvy::ui
