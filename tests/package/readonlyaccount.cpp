#include "readonlyaccount.h"

#include "testpaths.h"

#include <QProcess>

namespace orvy::test {

QString readOnlyAccountSql(const QString &database, const QString &password, const QString &clients,
    QString *error, const QString &maxUserConnections)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVY_DB_NAME"), database);
    env.insert(QStringLiteral("ORVY_DB_PASSWORD"), password);
    env.insert(QStringLiteral("ORVY_DB_CLIENTS"), clients);
    env.remove(QStringLiteral("ORVY_DB_MAX_USER_CONNECTIONS"));
    if (!maxUserConnections.isEmpty())
        env.insert(QStringLiteral("ORVY_DB_MAX_USER_CONNECTIONS"), maxUserConnections);
    QProcess script;
    script.setProcessEnvironment(env);
    script.setStandardInputFile(QProcess::nullDevice());
    script.start(QStringLiteral(ORVY_SOURCE_DIR "/db/readonly-account.sh"), {});
    if (!script.waitForFinished(30000) || script.exitStatus() != QProcess::NormalExit
        || script.exitCode() != 0) {
        script.kill();
        script.waitForFinished(5000);
        if (error)
            *error = QStringLiteral("db/readonly-account.sh failed: ")
                + QString::fromUtf8(script.readAllStandardError()) + script.errorString();
        return QString();
    }
    return QString::fromUtf8(script.readAllStandardOutput());
}

} // namespace orvy::test
