#pragma once

#include <QString>

namespace orvy {

// Reads an integer written as text, the way colour values are stored in the database:
// blanks before and after, an optional sign, then decimal digits, or hexadecimal digits after
// "$", "x" or "0x". Up to eight hex digits give the 32-bit pattern (FFFFFFFF is -1).
// Anything else, the empty text included, throws orvy::Error
// "'<text>' is not a valid integer value".
qint32 parseInteger(const QString &text);

} // namespace orvy
