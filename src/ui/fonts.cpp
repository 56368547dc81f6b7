#include "ui/fonts.h"

#include <QDir>
#include <QFontDatabase>
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

QStringList loadShippedFonts(const QString &folder)
{
    QStringList families;
    const QDir fonts(folder);
    const QStringList files
        = fonts.entryList({ QStringLiteral("*.ttf"), QStringLiteral("*.otf") }, QDir::Files, QDir::Name);
    for (const QString &file : files) {
        const int id = QFontDatabase::addApplicationFont(fonts.filePath(file));
        if (id >= 0)
            families += QFontDatabase::applicationFontFamilies(id);
    }
    families.removeDuplicates();
    return families;
}

} // namespace orvy::ui
