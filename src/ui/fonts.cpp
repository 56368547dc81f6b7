#include "ui/fonts.h"

#include <QStringList>

namespace orvy::ui {

namespace {

QFont withFamilies(const QStringList &families, int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace

QFont segoeUi(int pixelSize, bool bold)
{
    return withFamilies(
        { QStringLiteral("Segoe UI"), QStringLiteral("Noto Sans"), QStringLiteral("Noto Sans Arabic"),
            QStringLiteral("Noto Naskh Arabic"), QStringLiteral("DejaVu Sans") },
        pixelSize, bold);
}

QFont kufiTitle(int pixelSize)
{
    return withFamilies({ QStringLiteral("Noto Kufi Arabic"), QStringLiteral("Noto Sans Arabic"),
                            QStringLiteral("DejaVu Sans") },
        pixelSize, true);
}

} // namespace orvy::ui
