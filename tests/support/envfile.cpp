#include "envfile.h"

#include <QFile>

namespace orvy::test {

QHash<QString, QString> readEnvFile(const QString &path)
{
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)).remove(u'"'));
    }
    return values;
}

} // namespace orvy::test
