#pragma once

#include <QString>

namespace orvy {

// The application title shown on message boxes: the executable's file name up to
// its first ".", first character as it is, the rest lower case.
QString applicationTitle(const QString &executableFileName);

// A message as the default error report shows it: a full stop is added unless the
// last character is "." or any character whose code is below it.
QString withFullStop(const QString &message);

} // namespace orvy
