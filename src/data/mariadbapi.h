#pragma once

#include <QString>
#include <QStringList>
#include <mysql.h>

namespace orvy::data {

// The functions of the MariaDB client library this layer calls, looked up at run time:
// the library is loaded at the first connection attempt, never linked. Once loaded it
// stays loaded for the life of the program.
struct MariaDbApi {
    decltype(&::mysql_init) init = nullptr;
    decltype(&::mysql_options) options = nullptr;
    decltype(&::mysql_real_connect) realConnect = nullptr;
    decltype(&::mysql_close) close = nullptr;
    decltype(&::mysql_errno) errorNumber = nullptr;
    decltype(&::mysql_error) error = nullptr;
    decltype(&::mysql_set_character_set) setCharacterSet = nullptr;
    decltype(&::mysql_real_query) realQuery = nullptr;
    decltype(&::mysql_store_result) storeResult = nullptr;
    decltype(&::mysql_free_result) freeResult = nullptr;
    decltype(&::mysql_field_count) fieldCount = nullptr;
    decltype(&::mysql_num_fields) numFields = nullptr;
    decltype(&::mysql_fetch_fields) fetchFields = nullptr;
    decltype(&::mysql_fetch_row) fetchRow = nullptr;
    decltype(&::mysql_fetch_lengths) fetchLengths = nullptr;
    decltype(&::mysql_more_results) moreResults = nullptr;
    decltype(&::mysql_next_result) nextResult = nullptr;
    decltype(&::mysql_character_set_name) characterSetName = nullptr;
    decltype(&::mysql_get_ssl_cipher) sslCipher = nullptr; // nullptr if the library has no TLS
    // Only in MariaDB's library; nullptr in others.
    decltype(&::mariadb_get_charset_by_nr) charsetByNumber = nullptr;

    // MariaDB's library, whose option numbers this layer is compiled with. MySQL's numbers
    // its newer options differently.
    bool isMariaDb() const { return charsetByNumber != nullptr; }

    // Loads the first of `libraryNames`, in order, that loads and has every function (a
    // library loaded before is taken as it is); throws DbError naming each library tried
    // and why it failed when none will do.
    static const MariaDbApi &load(const QStringList &libraryNames);
};

// What to load, in order, for `libraryNames`: first each of them that lies in
// `programFolder`, by its full path (so that a library of the same name found earlier on
// the system's search path cannot take the shipped one's place), then the names
// themselves for the system's search. An empty folder adds nothing.
QStringList clientLibraryCandidates(const QStringList &libraryNames, const QString &programFolder);

} // namespace orvy::data
