#pragma once

#include <QString>

namespace orvy::data {

// Everything needed to reach the course database. The program uses builtInDbSettings();
// tests pass their own server's values.
struct DbSettings {
    QString host;
    unsigned port = 0; // 0: the client's default, 3306
    QString database;
    QString user;
    QString password;
    QString clientLibrary = QStringLiteral("libmariadb.so.3"); // loaded at the first connection attempt
    int connectTimeoutSeconds = 10;
    int readTimeoutSeconds = 60;
    int writeTimeoutSeconds = 60;
    int retryPauseMs = 3000; // between reconnect attempts after the first
};

// The deployment values baked in at build time; the user name is the database name.
DbSettings builtInDbSettings();

} // namespace orvy::data
