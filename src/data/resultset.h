#pragma once

#include <QList>
#include <QString>
#include <optional>
#include <vector>

namespace orvy::data {

// A whole query result as plain data, detached from the client library.
struct ResultSet {
    struct Column {
        QString name;
        int type = 0; // the client library's field type (enum_field_types)
        unsigned flags = 0; // the client library's field flags (AUTO_INCREMENT_FLAG ...)
        unsigned charsetNumber = 0; // 63: binary
    };
    using Row = std::vector<std::optional<QString>>; // std::nullopt: SQL NULL

    bool hasResultSet = false; // false for statements that return no rows at all
    QList<Column> columns;
    std::vector<Row> rows;
};

} // namespace orvy::data
