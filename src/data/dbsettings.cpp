#include "data/dbsettings.h"

#include "orvy/config.h"

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
    return settings;
}

} // namespace orvy::data
