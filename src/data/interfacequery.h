#pragma once

#include "data/query.h"

namespace orvy::data {

// The branding query (interfaceQ): fixed text Q1 and thirteen declared columns, checked by
// name and kind when it opens. Text columns read no longer than their declared size.
class InterfaceQuery {
public:
    explicit InterfaceQuery(Connection &connection);

    void close() { m_query.close(); }
    // Runs Q1 and checks the result's columns. Throws DbError
    // "interfaceQ: Field '<label>' not found" or
    // "interfaceQ: Type mismatch for field '<label>', expecting: <kind> actual: <kind>"
    // (and stays closed then), or the connection's error.
    void open();
    bool isOpen() const { return m_query.isOpen(); }
    bool eof() const { return m_query.eof(); }
    void next() { m_query.next(); }
    int recordCount() const { return m_query.recordCount(); }

    // Only the declared columns can be read.
    QString asString(const QString &field) const;
    qint32 asInteger(const QString &field) const;

private:
    void checkColumns() const;

    Query m_query;
};

} // namespace orvy::data
