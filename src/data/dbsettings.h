#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace orvy::data {

// The file names of the MariaDB/MySQL client library on this platform, in the order they
// are tried at the first connection attempt.
QStringList clientLibraryNames();

// Everything needed to reach the course database. The program uses builtInDbSettings();
// tests pass their own server's values.
struct DbSettings {
    // One server, or several separated by commas, each "host", "host:port" or "[v6]:port";
    // they are tried in a random order (see Connection).
    QString host;
    unsigned port = 0; // 0: the client's default, 3306; for servers named without a port
    QString database;
    QString user;
    QString password;
    QStringList clientLibraries = clientLibraryNames(); // the first that loads is used
    int connectTimeoutSeconds = 10;
    int readTimeoutSeconds = 60;
    int writeTimeoutSeconds = 60;
    int retryPauseMs = 3000; // between reconnect attempts after the first
    // While the program starts, how long it keeps trying a server that says it is busy,
    // and the first of its growing pauses (see BusyBackoff).
    int busyTotalMs = 30000;
    int busyFirstPauseMs = 1000;
    // Encryption to the server. On, the connection is refused unless it is encrypted and
    // the server's certificate is signed by the authority in tlsCaFile (a PEM file; empty:
    // the system's trust store) and names the host connected to.
    bool tls = false;
    QString tlsCaFile;
    // Picks the order of several servers and the pauses while busy; empty: the system's
    // random source.
    std::function<quint32()> random;
    bool compress = true; // protocol compression, as the program asks for it
};

// The deployment values baked in at build time; the user name is the database name.
DbSettings builtInDbSettings();

// Where the program finds a certificate authority file shipped with it: beside itself,
// else in ../share/orvyclass (an installed program on Linux). The first that exists, or
// the first candidate when none does (it is then reported missing at connect).
QString tlsCaFileBeside(const QString &programFolder, const QString &fileName);

} // namespace orvy::data
