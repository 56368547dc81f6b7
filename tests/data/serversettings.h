#pragma once

#include "data/dbsettings.h"
#include "mariadbserver.h"

namespace orvy::test {

// Connection settings for the database and account a test server was given (createDatabase).
inline data::DbSettings settingsFor(const MariaDbServer &server)
{
    data::DbSettings s;
    s.host = server.host();
    s.port = server.port();
    s.database = server.database();
    s.user = server.user();
    s.password = server.password();
    return s;
}

} // namespace orvy::test
