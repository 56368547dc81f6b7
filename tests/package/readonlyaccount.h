#pragma once

#include <QString>

namespace orvy::test {

// The SQL of db/readonly-account.sh for these values, given to it through the environment
// as an administrator would; empty, with *error saying why, when the script fails. An empty
// maxUserConnections leaves the script's own default.
QString readOnlyAccountSql(const QString &database, const QString &password,
    const QString &clients = QStringLiteral("%"), QString *error = nullptr,
    const QString &maxUserConnections = QString());

} // namespace orvy::test
