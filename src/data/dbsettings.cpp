#include "data/dbsettings.h"

#include "orvy/config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace orvy::data {

QStringList clientLibraryNames()
{
#if defined(Q_OS_WIN)
    // MySQL's client first, then MariaDB Connector/C, then the embedded server's library.
    return { QStringLiteral("libmysql.dll"), QStringLiteral("libmariadb.dll"),
        QStringLiteral("libmysqld.dll") };
#elif defined(Q_OS_MACOS)
    return { QStringLiteral("libmariadb.3.dylib"), QStringLiteral("libmysqlclient.21.dylib") };
#else
    // Full sonames: the unversioned names exist only with the development packages.
    return { QStringLiteral("libmariadb.so.3"), QStringLiteral("libmysqlclient.so.21") };
#endif
}

DbSettings builtInDbSettings()
{
    DbSettings settings;
    settings.host = QString::fromUtf8(ORVY_DB_HOST);
    settings.port = ORVY_DB_PORT;
    settings.database = QString::fromUtf8(ORVY_DB_NAME);
    settings.user = settings.database;
    settings.password = QString::fromUtf8(ORVY_DB_PASSWORD);
    settings.tls = ORVY_DB_TLS;
    settings.compress = ORVY_DB_COMPRESS;
    const QString caFile = QString::fromUtf8(ORVY_DB_TLS_CA_FILE);
    if (settings.tls && !caFile.isEmpty())
        settings.tlsCaFile = tlsCaFileBeside(QCoreApplication::applicationDirPath(), caFile);
    return settings;
}

QString tlsCaFileBeside(const QString &programFolder, const QString &fileName)
{
    const QDir folder(programFolder);
    const QStringList candidates { folder.absoluteFilePath(fileName),
        QDir::cleanPath(folder.absoluteFilePath(QStringLiteral("../share/orvyclass/") + fileName)) };
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return candidates.first();
}

} // namespace orvy::data
