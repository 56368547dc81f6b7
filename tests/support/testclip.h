#pragma once

#include <QSize>
#include <QString>

namespace orvy::test {

// Makes a 30-second H.264 MP4 (with AAC sound unless told otherwise), as lessons are,
// in a fresh media folder of the test, and returns its path; empty, with `error` set,
// when ffmpeg fails.
QString makeLessonClip(QString *error, QSize size = QSize(160, 120), bool withSound = true);

} // namespace orvy::test
