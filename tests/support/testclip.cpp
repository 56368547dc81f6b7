#include "testclip.h"

#include "tmpdir.h"

#include <QProcess>

namespace orvy::test {

QString makeLessonClip(QString *error, QSize size, bool withSound)
{
    const QString clip = freshTestDir(QStringLiteral("media")) + QStringLiteral("/lesson.mp4");
    QStringList args { QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
        QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
        QStringLiteral("testsrc=size=%1x%2:rate=25").arg(size.width()).arg(size.height()) };
    if (withSound)
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("sine");
    args << QStringLiteral("-t") << QStringLiteral("30") << QStringLiteral("-c:v")
         << QStringLiteral("libx264") << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p");
    if (withSound)
        args << QStringLiteral("-c:a") << QStringLiteral("aac");
    args << QStringLiteral("-movflags") << QStringLiteral("+faststart") << clip;

    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitStatus() != QProcess::NormalExit
        || ffmpeg.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("ffmpeg failed: ") + QString::fromLocal8Bit(ffmpeg.readAllStandardError())
                + ffmpeg.errorString();
        return {};
    }
    return clip;
}

} // namespace orvy::test
