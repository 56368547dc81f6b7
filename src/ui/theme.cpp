#include "ui/theme.h"

#include "core/messages.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMessageBox>
#include <QStyleFactory>

namespace orvy::ui {

namespace {

const QString themeFolder = QStringLiteral(":/themes");

QHash<QString, QString> readThemeFile(const QString &path)
{
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0)
            values.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return values;
}

QPalette paletteFrom(const QHash<QString, QString> &v)
{
    const auto colour = [&v](const char *key) { return QColor(v.value(QString::fromLatin1(key))); };
    QPalette p;
    const struct {
        QPalette::ColorRole role;
        const char *key;
    } roles[] = {
        { QPalette::Window, "window" },
        { QPalette::WindowText, "windowText" },
        { QPalette::Base, "base" },
        { QPalette::AlternateBase, "alternateBase" },
        { QPalette::Text, "text" },
        { QPalette::Button, "button" },
        { QPalette::ButtonText, "buttonText" },
        { QPalette::BrightText, "brightText" },
        { QPalette::Light, "light" },
        { QPalette::Midlight, "midlight" },
        { QPalette::Mid, "mid" },
        { QPalette::Dark, "dark" },
        { QPalette::Shadow, "shadow" },
        { QPalette::Highlight, "highlight" },
        { QPalette::HighlightedText, "highlightedText" },
        { QPalette::ToolTipBase, "toolTipBase" },
        { QPalette::ToolTipText, "toolTipText" },
        { QPalette::PlaceholderText, "placeholderText" },
        { QPalette::Link, "link" },
    };
    for (const auto &r : roles) {
        const QColor c = colour(r.key);
        if (c.isValid())
            p.setColor(r.role, c);
    }
    const QColor disabled = colour("disabledText");
    if (disabled.isValid()) {
        for (auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
            p.setColor(QPalette::Disabled, role, disabled);
    }
    return p;
}

} // namespace

std::optional<Theme> Theme::find(const QString &name)
{
    const QDir dir(themeFolder);
    for (const QFileInfo &entry : dir.entryInfoList(QDir::Files)) {
        const auto values = readThemeFile(entry.filePath());
        if (values.value(QStringLiteral("name")).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        Theme theme;
        theme.m_name = values.value(QStringLiteral("name"));
        theme.m_palette = paletteFrom(values);
        return theme;
    }
    return std::nullopt;
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
