#pragma once

#include <QPalette>
#include <QString>
#include <optional>

class QApplication;

namespace orvy::ui {

// The one visual theme carried inside the program, found by its name.
class Theme {
public:
    static constexpr const char *defaultName = "Windows10 Dark";

    // Looks the theme up by name without regard to case.
    static std::optional<Theme> find(const QString &name);

    const QString &name() const { return m_name; }
    const QPalette &palette() const { return m_palette; }

    void apply(QApplication &app) const;

private:
    QString m_name;
    QPalette m_palette;
};

// Applies the named theme; when it is missing, says so in a dialog with one Close
// button and leaves the standard look. Returns whether the theme was applied.
bool applyThemeOrReport(QApplication &app, const QString &name);

} // namespace orvy::ui
