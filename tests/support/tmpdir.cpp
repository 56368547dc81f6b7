#include "tmpdir.h"

#include "testpaths.h"

#include <QDir>

namespace orvy::test {

QString freshTestDir(const QString &name)
{
    QString base = qEnvironmentVariable("ORVY_TEST_TMP");
    if (base.isEmpty())
        base = QStringLiteral(ORVY_TESTS_BINARY_DIR "/tmp/manual");
    QDir dir(base + u'/' + name);
    dir.removeRecursively();
    dir.mkpath(QStringLiteral("."));
    return dir.absolutePath();
}

} // namespace orvy::test
