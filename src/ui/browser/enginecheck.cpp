#include "ui/browser/enginecheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QStringList>

#if defined(Q_OS_LINUX)
#include <unistd.h>
#endif

namespace orvy::ui::browser {

#if defined(Q_OS_LINUX) || defined(Q_OS_WIN)

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("EdgeBrowser", text);
}

#if defined(Q_OS_LINUX)
// The engine runs without its sandbox when this variable is set at all (even empty or
// "0"), or when its flags or the program's arguments carry --no-sandbox (one dash or two).
bool sandboxSwitchedOff()
{
    if (qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        return true;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    static const QRegularExpression noSandbox(QStringLiteral("^[\"']?--?no-sandbox(=|[\"']?$)"));
    QStringList words = qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").split(blanks, Qt::SkipEmptyParts);
    words += QCoreApplication::arguments();
    for (const QString &word : std::as_const(words))
        if (noSandbox.match(word).hasMatch())
            return true;
    return false;
}
#endif

// The engine's own look-up, as its deployment notes give it: a path given in the
// environment is the only place looked at; else the Qt installation, then the program's
// folder (and, for the resources, a folder in the home directory).
QStringList helperCandidates()
{
    const QString fromEnvironment = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
    if (!fromEnvironment.isEmpty())
        return { fromEnvironment };
#if defined(Q_OS_WIN)
    const QString name = QStringLiteral("/QtWebEngineProcess.exe");
#else
    const QString name = QStringLiteral("/QtWebEngineProcess");
#endif
    return { QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + name,
        QCoreApplication::applicationDirPath() + name };
}

QStringList resourceFolders()
{
    const QString fromEnvironment = qEnvironmentVariable("QTWEBENGINE_RESOURCES_PATH");
    if (!fromEnvironment.isEmpty())
        return { fromEnvironment };
    const QString data = QLibraryInfo::path(QLibraryInfo::DataPath);
    return { data + QStringLiteral("/resources"), data, QCoreApplication::applicationDirPath(),
        QDir::homePath() + QStringLiteral("/.") + QCoreApplication::applicationName() };
}

} // namespace

QString engineStartProblem()
{
#if defined(Q_OS_LINUX)
    if ((getuid() == 0 || geteuid() == 0) && !sandboxSwitchedOff())
        return tr("the browser engine does not run as root (the administrator) with its sandbox on; "
                  "start the program as an ordinary user");
#endif

    const QStringList helpers = helperCandidates();
    QString helper;
    for (const QString &candidate : helpers) {
        if (QFileInfo::exists(candidate)) {
            helper = candidate;
            break;
        }
    }
    if (helper.isEmpty())
        return tr("the browser engine's helper program is not installed (looked for %1)")
            .arg(helpers.join(QStringLiteral(", ")));
    if (!QFileInfo(helper).isExecutable())
        return tr("the browser engine's helper program %1 cannot be run").arg(helper);

    const QStringList folders = resourceFolders();
    const QString resources = QStringLiteral("/qtwebengine_resources.pak");
    for (const QString &folder : folders)
        if (QFileInfo::exists(folder + resources))
            return QString();
    return tr("the browser engine's resources are not installed (looked for qtwebengine_resources.pak in %1)")
        .arg(folders.join(QStringLiteral(", ")));
}

#else

// The conditions above are the engine's on Linux and Windows; elsewhere nothing is checked
// beforehand.
QString engineStartProblem()
{
    return QString();
}

#endif

} // namespace orvy::ui::browser
