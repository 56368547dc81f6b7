#pragma once

#include <QString>
#include <QStringList>

namespace orvy::data {

// The file names of the MariaDB/MySQL client library on this platform, in the order they
// are tried at the first connection attempt.
QStringList clientLibraryNames();

// Everything needed to reach the course database. The program uses builtInDbSettings();
// tests pass their own server's values.
struct DbSettings {
    QString host;
    unsigned port = 0; // 0: the client's default, 3306
    QString database;
    QString user;
    QString password;
    QStringList clientLibraries = clientLibraryNames(); // the first that loads is used
    int connectTimeoutSeconds = 10;
    int readTimeoutSeconds = 60;
    int writeTimeoutSeconds = 60;
    int retryPauseMs = 3000; // between reconnect attempts after the first
    bool compress = true; // protocol compression, as the program asks for it
};

// The deployment values baked in at build time; the user name is the database name.
DbSettings builtInDbSettings();

} // namespace orvy::data
