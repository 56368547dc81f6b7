#pragma once

#include "data/dbsettings.h"

#include <QStringList>
#include <functional>
#include <optional>

namespace orvy::check {

struct CheckOptions {
    data::DbSettings db; // the program's built-in values, then the command line
    bool json = false;
    int jobs = 8; // links checked at once
    int timeoutSeconds = 600; // the whole check
    bool help = false;
};

// Reads the command line (arguments without the program name). The password comes from
// --password-file (its first line), else `environmentPassword` when set, else
// `askPassword` (the terminal) when given, else the built-in one. Throws orvy::Error
// for a bad option.
CheckOptions parseOptions(const QStringList &arguments, const data::DbSettings &builtIn,
    const std::optional<QString> &environmentPassword, const std::function<std::optional<QString>()> &askPassword);

QString usageText();

} // namespace orvy::check
