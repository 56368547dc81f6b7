#include "ui/theme.h"

#include "core/messages.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QStyleFactory>

namespace orvy::ui {

namespace {

// Black toolbar, fields and panels, white captions, #333333 frames.
QPalette darkPalette()
{
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    const QColor frame(0x33, 0x33, 0x33);
    QPalette p;
    const struct {
        QPalette::ColorRole role;
        QColor colour;
    } roles[] = {
        { QPalette::Window, black },
        { QPalette::WindowText, white },
        { QPalette::Base, black },
        { QPalette::AlternateBase, QColor(0x1A, 0x1A, 0x1A) },
        { QPalette::Text, white },
        { QPalette::Button, black },
        { QPalette::ButtonText, white },
        { QPalette::BrightText, white },
        { QPalette::Light, frame },
        { QPalette::Midlight, frame },
        { QPalette::Mid, frame },
        { QPalette::Dark, frame },
        { QPalette::Shadow, frame },
        { QPalette::Highlight, QColor(0x00, 0x78, 0xD7) },
        { QPalette::HighlightedText, white },
        { QPalette::ToolTipBase, QColor(0x2B, 0x2B, 0x2B) },
        { QPalette::ToolTipText, white },
        { QPalette::PlaceholderText, QColor(0x9A, 0x9A, 0x9A) },
        { QPalette::Link, QColor(0x4A, 0x86, 0xE8) },
    };
    for (const auto &r : roles)
        p.setColor(r.role, r.colour);
    const QColor disabled(0x7A, 0x7A, 0x7A);
    for (auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

} // namespace

std::optional<Theme> Theme::find(const QString &name)
{
    const QString dark = QString::fromLatin1(defaultName);
    if (dark.compare(name, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    Theme theme;
    theme.m_name = dark;
    theme.m_palette = darkPalette();
    return theme;
}

void Theme::apply(QApplication &app) const
{
    // Fusion paints from the palette alone, so widgets with their own palette keep it.
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(style);
    QApplication::setPalette(m_palette);
}

bool applyThemeOrReport(QApplication &app, const QString &name)
{
    if (const auto theme = Theme::find(name)) {
        theme->apply(app);
        return true;
    }
    QMessageBox box(QMessageBox::Critical,
        applicationTitle(QFileInfo(QCoreApplication::applicationFilePath()).fileName()),
        QStringLiteral("Style '%1' not found").arg(name), QMessageBox::Close);
    box.setObjectName(QStringLiteral("styleNotFoundDialog"));
    box.exec();
    return false;
}

} // namespace orvy::ui
