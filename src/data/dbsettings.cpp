#include "data/dbsettings.h"

#include "orvy/config.h"

namespace orvy::data {

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
