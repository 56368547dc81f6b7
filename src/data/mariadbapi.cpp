#include "data/mariadbapi.h"

#include "data/dberror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLibrary>
#include <QMutex>
#include <memory>

namespace orvy::data {

namespace {

// Looks up one function; the first name not found is kept in `missing`.
template<typename Function>
void resolve(QLibrary &library, Function &target, const char *name, QString &missing)
{
    target = reinterpret_cast<Function>(library.resolve(name));
    if (!target && missing.isEmpty())
        missing = QLatin1String(name);
}

// Loads one library and looks up every function; null, with `reason` set, when it will not do.
std::shared_ptr<MariaDbApi> loadOne(const QString &libraryName, QString &reason)
{
    QLibrary library(libraryName);
    if (!library.load()) {
        reason = library.errorString();
        return nullptr;
    }
    auto api = std::make_shared<MariaDbApi>();
    QString missing;
    resolve(library, api->init, "mysql_init", missing);
    resolve(library, api->options, "mysql_options", missing);
    resolve(library, api->realConnect, "mysql_real_connect", missing);
    resolve(library, api->close, "mysql_close", missing);
    resolve(library, api->errorNumber, "mysql_errno", missing);
    resolve(library, api->error, "mysql_error", missing);
    resolve(library, api->setCharacterSet, "mysql_set_character_set", missing);
    resolve(library, api->realQuery, "mysql_real_query", missing);
    resolve(library, api->storeResult, "mysql_store_result", missing);
    resolve(library, api->freeResult, "mysql_free_result", missing);
    resolve(library, api->fieldCount, "mysql_field_count", missing);
    resolve(library, api->numFields, "mysql_num_fields", missing);
    resolve(library, api->fetchFields, "mysql_fetch_fields", missing);
    resolve(library, api->fetchRow, "mysql_fetch_row", missing);
    resolve(library, api->fetchLengths, "mysql_fetch_lengths", missing);
    resolve(library, api->moreResults, "mysql_more_results", missing);
    resolve(library, api->nextResult, "mysql_next_result", missing);
    resolve(library, api->characterSetName, "mysql_character_set_name", missing);
    api->sslCipher = reinterpret_cast<decltype(api->sslCipher)>(library.resolve("mysql_get_ssl_cipher"));
    // MariaDB's own: reads the server's default character set from its greeting. Optional.
    api->charsetByNumber
        = reinterpret_cast<decltype(api->charsetByNumber)>(library.resolve("mariadb_get_charset_by_nr"));
    if (!missing.isEmpty()) {
        reason = QStringLiteral("it has no function %1").arg(missing);
        library.unload();
        return nullptr;
    }
    return api;
}

} // namespace

QStringList clientLibraryCandidates(const QStringList &libraryNames, const QString &programFolder)
{
    QStringList candidates;
    if (!programFolder.isEmpty()) {
        const QDir folder(programFolder);
        for (const QString &name : libraryNames) {
            const QString path = folder.absoluteFilePath(name);
            if (QFileInfo(path).isFile())
                candidates.append(QDir::toNativeSeparators(path));
        }
    }
    candidates += libraryNames;
    return candidates;
}

const MariaDbApi &MariaDbApi::load(const QStringList &requestedNames)
{
#if defined(Q_OS_WIN)
    // Windows searches the program's folder only after DLLs already loaded and the ones
    // its loader knows; the library shipped beside the program comes first by full path.
    const QStringList libraryNames = clientLibraryCandidates(requestedNames,
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString());
#else
    const QStringList &libraryNames = requestedNames;
#endif
    // Loaded libraries are kept (and never unloaded) for the life of the program. The
    // table is never destroyed either: a connect attempt on a helper thread may still use
    // its library's functions after the static objects are gone (the program exits while
    // one waits on a silent server), and they stay reachable, no leak.
    static QBasicMutex mutex;
    static auto *const loaded = new QHash<QString, std::shared_ptr<MariaDbApi>>;
    const QMutexLocker lock(&mutex);

    QStringList failures;
    for (const QString &name : libraryNames) {
        if (const auto found = loaded->constFind(name); found != loaded->constEnd())
            return **found;
        QString reason;
        if (auto api = loadOne(name, reason)) {
            loaded->insert(name, api);
            return *api;
        }
        failures.append(QStringLiteral("\"%1\" (%2)").arg(name, reason));
    }
    if (failures.isEmpty())
        throw DbError(0, DbError::prefix() + QStringLiteral("No database client library is named"));
    throw DbError(0,
        DbError::prefix()
            + QStringLiteral("Cannot load the database client library; tried %1")
                  .arg(failures.join(QStringLiteral(", "))));
}

} // namespace orvy::data
