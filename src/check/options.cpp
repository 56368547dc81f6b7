#include "check/options.h"

#include "core/error.h"

#include <QFile>

namespace orvy::check {

namespace {

[[noreturn]] void fail(const QString &text)
{
    throw Error(text);
}

int positive(const QString &option, const QString &value, int most)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < 1 || n > most)
        fail(QStringLiteral("%1 takes a whole number from 1 to %2, not '%3'").arg(option).arg(most).arg(value));
    return n;
}

QString firstLineOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("--password-file: cannot read '%1': %2").arg(path, file.errorString()));
    // A password file holds one line; a few kB is far more than any password.
    QByteArray line = file.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace

CheckOptions parseOptions(const QStringList &arguments, const data::DbSettings &builtIn,
    const std::optional<QString> &environmentPassword, const std::function<std::optional<QString>()> &askPassword)
{
    CheckOptions options;
    options.db = builtIn;
    std::optional<QString> passwordFile;
    bool userGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        std::optional<QString> inlineValue;
        if (name.startsWith(u"--") && name.contains(u'=')) {
            inlineValue = name.mid(name.indexOf(u'=') + 1);
            name = name.left(name.indexOf(u'='));
        }
        const auto value = [&]() -> QString {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= arguments.size())
                fail(QStringLiteral("%1 needs a value").arg(name));
            return arguments.at(++i);
        };
        const auto flag = [&] {
            if (inlineValue)
                fail(QStringLiteral("%1 takes no value").arg(name));
        };
        if (name == u"--host") {
            options.db.host = value();
            if (options.db.host.trimmed().isEmpty())
                fail(QStringLiteral("--host needs a server name"));
        } else if (name == u"--port") {
            const QString text = value();
            bool ok = false;
            const uint port = text.toUInt(&ok);
            if (!ok || port > 65535)
                fail(QStringLiteral("--port takes a port number from 0 to 65535, not '%1'").arg(text));
            options.db.port = port;
        } else if (name == u"--database") {
            options.db.database = value();
        } else if (name == u"--user") {
            options.db.user = value();
            userGiven = true;
        } else if (name == u"--password-file") {
            passwordFile = value();
        } else if (name == u"--tls") {
            flag();
            options.db.tls = true;
        } else if (name == u"--tls-ca") {
            options.db.tls = true;
            options.db.tlsCaFile = value();
        } else if (name == u"--json") {
            flag();
            options.json = true;
        } else if (name == u"--jobs") {
            options.jobs = positive(name, value(), 256);
        } else if (name == u"--timeout") {
            options.timeoutSeconds = positive(name, value(), 7 * 24 * 3600);
        } else if (name == u"--help" || name == u"-h") {
            options.help = true;
            return options;
        } else {
            fail(QStringLiteral("unknown option '%1'").arg(arguments.at(i)));
        }
    }
    // The program's user is its database's name; a school checking another database with
    // the default user means that database's user.
    if (!userGiven)
        options.db.user = options.db.database;
    if (passwordFile) {
        options.db.password = firstLineOf(*passwordFile);
    } else if (environmentPassword) {
        options.db.password = *environmentPassword;
    } else if (askPassword) {
        if (const std::optional<QString> typed = askPassword())
            options.db.password = *typed;
    }
    return options;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: orvyclass-check [--host H[,H2...]] [--port N] [--database NAME] [--user NAME]\n"
        "                       [--password-file FILE] [--tls] [--tls-ca FILE] [--json]\n"
        "                       [--jobs N] [--timeout SECONDS]\n"
        "Checks the course catalogue as the program reads it: lesson links, the banner, colours,\n"
        "texts, ids, sort orders and the server's index and limits.\n"
        "The password: --password-file, else ORVY_CHECK_PASSWORD, else asked on the terminal.\n"
        "Exit status: 0 nothing a learner would meet, 1 findings, 2 the check could not run.\n");
}

} // namespace orvy::check
