#pragma once

#include <QString>

// What would make the web engine end the whole program as it starts, checked before it
// is loaded: the engine aborts the process (exit code 1 or an abort, with no word to the
// user) when it runs as root with its sandbox on, or when its helper program or its
// resources are missing.
namespace orvy::ui::browser {

// Why the engine cannot start here, as the end of a sentence for the user; empty when
// nothing known stands in its way. Never switches the sandbox off: running as root, the
// answer is to run as an ordinary user.
QString engineStartProblem();

} // namespace orvy::ui::browser
