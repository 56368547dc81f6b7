#include "data/mariadbapi.h"

#include "data/dberror.h"

#include <QHash>
#include <QLibrary>
#include <QMutex>
#include <memory>

namespace orvy::data {

namespace {

template<typename Function> void resolve(QLibrary &library, Function &target, const char *name)
{
    target = reinterpret_cast<Function>(library.resolve(name));
    if (!target)
        throw DbError(0,
            DbError::prefix()
                + QStringLiteral("The database client library \"%1\" has no function %2")
                      .arg(library.fileName(), QLatin1String(name)));
}

} // namespace

const MariaDbApi &MariaDbApi::load(const QString &libraryName)
{
    // Loaded libraries are kept (and never unloaded) for the life of the program.
    static QMutex mutex;
    static QHash<QString, std::shared_ptr<MariaDbApi>> loaded;
    const QMutexLocker lock(&mutex);
    if (const auto found = loaded.constFind(libraryName); found != loaded.constEnd())
        return **found;

    QLibrary library(libraryName);
    if (!library.load())
        throw DbError(0,
            DbError::prefix()
                + QStringLiteral("Cannot load the database client library \"%1\": %2")
                      .arg(libraryName, library.errorString()));

    auto api = std::make_shared<MariaDbApi>();
    resolve(library, api->init, "mysql_init");
    resolve(library, api->options, "mysql_options");
    resolve(library, api->realConnect, "mysql_real_connect");
    resolve(library, api->close, "mysql_close");
    resolve(library, api->errorNumber, "mysql_errno");
    resolve(library, api->error, "mysql_error");
    resolve(library, api->setCharacterSet, "mysql_set_character_set");
    resolve(library, api->realQuery, "mysql_real_query");
    resolve(library, api->storeResult, "mysql_store_result");
    resolve(library, api->freeResult, "mysql_free_result");
    resolve(library, api->fieldCount, "mysql_field_count");
    resolve(library, api->numFields, "mysql_num_fields");
    resolve(library, api->fetchFields, "mysql_fetch_fields");
    resolve(library, api->fetchRow, "mysql_fetch_row");
    resolve(library, api->fetchLengths, "mysql_fetch_lengths");
    resolve(library, api->moreResults, "mysql_more_results");
    resolve(library, api->nextResult, "mysql_next_result");
    resolve(library, api->characterSetName, "mysql_character_set_name");
    api->charsetByNumber
        = reinterpret_cast<decltype(api->charsetByNumber)>(library.resolve("mariadb_get_charset_by_nr"));
    loaded.insert(libraryName, api);
    return *api;
}

} // namespace orvy::data
