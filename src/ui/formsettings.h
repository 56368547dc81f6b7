#pragma once

#include "data/dbsettings.h"
#include "net/bannerfetch.h"

#include <QString>
#include <functional>

namespace orvy::ui {

// What the main window takes from outside: the deployment values and the two ways out
// of the program that tests replace.
struct FormSettings {
    data::DbSettings db;
    net::FetchLimits fetch;
    // Ends the process after the fatal start-up message.
    std::function<void(int exitCode)> fatalExit;
    // Asks the desktop to open a link with its default handler; the result is ignored.
    std::function<void(const QString &link)> openLink;

    static FormSettings builtIn();
};

} // namespace orvy::ui
