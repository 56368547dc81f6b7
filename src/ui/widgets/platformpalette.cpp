#include "ui/widgets/platformpalette.h"

#include <QApplication>
#include <QStyle>

namespace orvy::ui {

QPalette platformPalette()
{
    const QPalette standard = QApplication::style()->standardPalette();
    QPalette pinned;
    for (int g = 0; g < QPalette::NColorGroups; ++g) {
        const auto group = static_cast<QPalette::ColorGroup>(g);
        for (int r = 0; r < QPalette::NColorRoles; ++r) {
            const auto role = static_cast<QPalette::ColorRole>(r);
            if (role == QPalette::NoRole)
                continue;
            // Setting each brush explicitly marks it resolved.
            pinned.setBrush(group, role, standard.brush(group, role));
        }
    }
    return pinned;
}

} // namespace orvy::ui
