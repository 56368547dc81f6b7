// Serves course catalogues for a program started from outside, such as the installed
// package: a private MariaDB server with two catalogues, each behind a read-only account
// made by db/readonly-account.sh (the second with fewer courses and a password holding
// characters that SQL and the shell treat specially, as a later build of the package
// would use), and an HTTP server with the banner. When both are ready it writes their
// settings as shell assignments to the file given, then serves until it gets SIGTERM or
// SIGINT, or its time is up.
//
// usage: orvy_catalogue_servers SETTINGS_FILE [SECONDS]
#include "httpserver.h"
#include "mariadbserver.h"
#include "readonlyaccount.h"
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

    struct Catalogue {
        const char *key;
        QString database;
        QString password;
        int coursesDropped;
        QString courses;
    };
    // Twelve characters, like a deployed password.
    Catalogue catalogues[] = {
        { "first", QStringLiteral("orvypackage"), QStringLiteral("Package2026x"), 0, {} },
        { "second", QStringLiteral("orvyupdate"), QStringLiteral(R"(Up/d&te\26'x)"), 2, {} },
    };

    HttpServer http;
    http.setRoute("/banner.png", HttpServer::Response::ok(bannerPng(), "image/png"));

    MariaDbServer db(QStringLiteral("catalogue"));
    if (!db.start())
        return fail(db.errorString());
    QString seed = readSource("demo/seed.sql");
    if (seed.isEmpty())
        return fail(QStringLiteral("cannot read demo/seed.sql"));
    seed.replace(QStringLiteral("@HTTP@"), http.url(QString()).chopped(1));
    for (Catalogue &catalogue : catalogues) {
        QString error;
        const QString account = orvy::test::readOnlyAccountSql(
            catalogue.database, catalogue.password, QStringLiteral("%"), &error);
        if (account.isEmpty())
            return fail(error);
        if (!db.runSql(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(catalogue.database))
            || !db.createCourseTables(catalogue.database) || !db.runSql(account)
            || !db.runSql(seed, catalogue.database)
            || !db.runSql(QStringLiteral("DELETE FROM courses ORDER BY cID DESC LIMIT %1")
                              .arg(catalogue.coursesDropped),
                catalogue.database)
            || !db.runSql(
                QStringLiteral("SELECT COUNT(*) FROM courses"), catalogue.database, &catalogue.courses))
            return fail(db.errorString());
    }
    if (!db.setGeneralLog(true))
        return fail(db.errorString());

    // Single-quoted for the shell: a quote inside ends the quoting, is escaped, resumes it.
    const auto shellWord
        = [](QString text) { return u'\'' + text.replace(u'\'', QStringLiteral("'\\''")) + u'\''; };
    QString settings = QStringLiteral("db_host=%1\ndb_port=%2\nhttp_url=%3\ngeneral_log=%4\n")
                           .arg(shellWord(db.host()))
                           .arg(db.port())
                           .arg(shellWord(http.url(QString())), shellWord(db.generalLogPath()));
    for (const Catalogue &catalogue : catalogues)
        settings += QStringLiteral("%1_name=%2\n%1_password=%3\n%1_courses=%4\n")
                        .arg(QLatin1String(catalogue.key), shellWord(catalogue.database),
                            shellWord(catalogue.password), catalogue.courses.trimmed());
    QSaveFile out(settingsFile);
    if (!out.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1").arg(settingsFile));
    out.write(settings.toUtf8());
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
