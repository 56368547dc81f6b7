#pragma once

#include <QFont>

namespace orvy::ui {

// Segoe UI where it exists, else a family that carries Latin and Arabic script.
QFont segoeUi(int pixelSize, bool bold = false);

// The product title's font: Noto Kufi Arabic bold.
QFont kufiTitle(int pixelSize);

// Makes the fonts shipped in `folder` (*.ttf, *.otf; the Windows folder's fonts\, as
// Windows has no Noto Kufi Arabic) known to this program only. Returns the families
// added; a file that is no font is left out.
QStringList loadShippedFonts(const QString &folder);

} // namespace orvy::ui
