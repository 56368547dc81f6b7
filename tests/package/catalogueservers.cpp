// Serves a course catalogue for a program started from outside, such as the installed
// package: a private MariaDB server with the demo catalogue behind the read-only account
// of db/readonly-account.sql, and an HTTP server with the banner. When both are ready it
// writes their settings as shell assignments to the file given, then serves until it gets
// SIGTERM or SIGINT, or its time is up.
//
// usage: orvy_catalogue_servers SETTINGS_FILE [SECONDS]
#include "httpserver.h"
#include "mariadbserver.h"
#include "testpaths.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QSaveFile>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>

using orvy::test::HttpServer;
using orvy::test::MariaDbServer;

namespace {

std::atomic_bool stopRequested = false;

extern "C" void requestStop(int)
{
    stopRequested = true;
}

int fail(const QString &what)
{
    std::fprintf(stderr, "orvy_catalogue_servers: %s\n", qPrintable(what));
    return 1;
}

QString readSource(const char *relativePath)
{
    QFile file(QStringLiteral(ORVY_SOURCE_DIR "/") + QLatin1String(relativePath));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A banner in the window's own colours, so a screenshot shows it arrived.
QByteArray bannerPng()
{
    QImage image(960, 360, QImage::Format_RGB32);
    image.fill(QColor(0x16, 0xA0, 0x85));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return fail(QStringLiteral("usage: orvy_catalogue_servers SETTINGS_FILE [SECONDS]"));
    const QString settingsFile = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 1800;
    if (seconds <= 0)
        return fail(QStringLiteral("SECONDS must be a positive number"));

    const QString database = QStringLiteral("orvypackage");
    const QString password = QStringLiteral("Package2026x"); // twelve characters, like a deployed one

    HttpServer http;
    http.setRoute("/banner.png", HttpServer::Response::ok(bannerPng(), "image/png"));

    MariaDbServer db(QStringLiteral("catalogue"));
    if (!db.start())
        return fail(db.errorString());
    QString account = readSource("db/readonly-account.sql");
    QString seed = readSource("demo/seed.sql");
    if (account.isEmpty() || seed.isEmpty())
        return fail(QStringLiteral("cannot read db/readonly-account.sql or demo/seed.sql"));
    account.replace(QStringLiteral("@DB@"), database)
        .replace(QStringLiteral("@CLIENTS@"), QStringLiteral("%"))
        .replace(QStringLiteral("@PASSWORD@"), password);
    seed.replace(QStringLiteral("@HTTP@"), http.url(QString()).chopped(1));
    if (!db.runSql(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(database))
        || !db.createCourseTables(database) || !db.runSql(account) || !db.runSql(seed, database)
        || !db.setGeneralLog(true))
        return fail(db.errorString());

    QString courses;
    if (!db.runSql(QStringLiteral("SELECT COUNT(*) FROM courses"), database, &courses))
        return fail(db.errorString());

    QSaveFile out(settingsFile);
    if (!out.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1").arg(settingsFile));
    out.write(QStringLiteral("db_host=%1\ndb_port=%2\ndb_name=%3\ndb_password=%4\n"
                             "http_url=%5\ngeneral_log=%6\ncourses=%7\n")
                  .arg(db.host())
                  .arg(db.port())
                  .arg(database, password, http.url(QString()), db.generalLogPath(),
                      courses.trimmed())
                  .toUtf8());
    if (!out.commit())
        return fail(QStringLiteral("cannot write %1").arg(settingsFile));

    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [] {
        if (stopRequested)
            QCoreApplication::quit();
    });
    poll.start(100);
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    return QCoreApplication::exec();
}
