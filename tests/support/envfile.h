#pragma once

#include <QHash>
#include <QString>

namespace orvy::test {

// The NAME.env file a server script writes (scripts/scale-out.sh, scripts/video-serve.sh):
// key=value lines, values maybe in double quotes. Empty when the file cannot be read.
QHash<QString, QString> readEnvFile(const QString &path);

} // namespace orvy::test
