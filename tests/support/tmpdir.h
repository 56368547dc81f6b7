#pragma once

#include <QString>

namespace orvy::test {

// A fresh folder for one test's files under the build folder (never the system's).
QString freshTestDir(const QString &name);

} // namespace orvy::test
