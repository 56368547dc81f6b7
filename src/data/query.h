#pragma once

#include "data/resultset.h"

#include <QString>

namespace orvy::data {

class Connection;

// A reusable query on the connection (the shared `Temp`): close, open with a text, walk the
// rows from the first to the end, read columns by name. Opening transfers the whole result;
// the rows are then plain data, whatever happens to the connection.
class Query {
public:
    // `name` prefixes the query's own messages ("Temp: Field 'x' not found").
    Query(Connection &connection, QString name);

    const QString &name() const { return m_name; }
    Connection &connection() const { return m_connection; }

    void close();
    // Closes, runs `sql` and stands on the first row. A statement without rows opens at
    // its end. On failure (DbError) the query stays closed.
    void open(const QString &sql);
    bool isOpen() const { return m_open; }
    // True past the last row, for an empty result, and when closed.
    bool eof() const;
    void next();
    int recordCount() const;

    // The current row's column `field` (any letter case). SQL NULL, and any column past the
    // end, read as "" and 0. Text read as integer follows orvy::parseInteger.
    // Throw DbError "<name>: Field '<field>' not found" for an unknown name.
    QString asString(const QString &field) const;
    qint32 asInteger(const QString &field) const;
    bool isNull(const QString &field) const;

    // The column's index in the result, or -1.
    int fieldIndex(const QString &field) const;
    const ResultSet &result() const { return m_result; }

private:
    const std::optional<QString> &value(const QString &field) const;

    Connection &m_connection;
    QString m_name;
    ResultSet m_result;
    bool m_open = false;
    std::size_t m_row = 0;
};

} // namespace orvy::data
