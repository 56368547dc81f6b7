#include "data/interfacequery.h"

#include "core/integer.h"
#include "data/dberror.h"
#include "data/querytexts.h"

#include <array>
#include <mysql.h>

namespace orvy::data {

namespace {

constexpr unsigned binaryCharset = 63;

enum class Kind { AutoInc, WideString };

QString kindName(Kind kind)
{
    return kind == Kind::AutoInc ? QStringLiteral("AutoInc") : QStringLiteral("WideString");
}

bool isInteger(int type)
{
    switch (type) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_LONGLONG:
        return true;
    default:
        return false;
    }
}

bool isText(const ResultSet::Column &column)
{
    switch (column.type) {
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_SET:
    case MYSQL_TYPE_JSON:
        // CHAR, VARCHAR, TEXT and friends; BINARY, VARBINARY and BLOB share the type codes
        // but carry the binary character set.
        return column.charsetNumber != binaryCharset;
    default:
        return false;
    }
}

// A kind name for what the server sent, for the mismatch message.
QString actualKind(const ResultSet::Column &column)
{
    if (isInteger(column.type))
        return (column.flags & AUTO_INCREMENT_FLAG) ? QStringLiteral("AutoInc")
            : column.type == MYSQL_TYPE_LONGLONG    ? QStringLiteral("LargeInt")
                                                    : QStringLiteral("Integer");
    const bool binary = column.charsetNumber == binaryCharset;
    switch (column.type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
        return QStringLiteral("FMTBcd");
    case MYSQL_TYPE_FLOAT:
        return QStringLiteral("Single");
    case MYSQL_TYPE_DOUBLE:
        return QStringLiteral("Float");
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
        return QStringLiteral("Date");
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_TIME2:
        return QStringLiteral("Time");
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_DATETIME2:
        return QStringLiteral("DateTime");
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_TIMESTAMP2:
        return QStringLiteral("TimeStamp");
    case MYSQL_TYPE_YEAR:
        return QStringLiteral("SmallInt");
    case MYSQL_TYPE_BIT:
        return QStringLiteral("Bytes");
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING:
        return binary ? QStringLiteral("VarBytes") : QStringLiteral("WideString");
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_SET:
        return binary ? QStringLiteral("Bytes") : QStringLiteral("WideString");
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
    case MYSQL_TYPE_JSON:
        return binary ? QStringLiteral("Blob") : QStringLiteral("WideMemo");
    case MYSQL_TYPE_GEOMETRY:
        return QStringLiteral("Blob");
    default:
        return QStringLiteral("Unknown");
    }
}

// The first `size` characters (code points, so a surrogate pair is never split).
QString cut(const QString &text, int size)
{
    if (size <= 0 || text.size() <= size)
        return text;
    qsizetype units = 0;
    for (int characters = 0; characters < size && units < text.size(); ++characters)
        units += (text.at(units).isHighSurrogate() && units + 1 < text.size()) ? 2 : 1;
    return text.left(units);
}

struct DeclaredColumn {
    QString name;
    QString label; // shown in messages
    Kind kind;
    int size; // characters; 0 for the id
};

const std::array<DeclaredColumn, 13> &declaredColumns()
{
    static const std::array<DeclaredColumn, 13> columns { {
        { QStringLiteral("intID"), QStringLiteral("intID"), Kind::AutoInc, 0 },
        { QStringLiteral("intPics"), QStringLiteral("intPics"), Kind::WideString, 255 },
        { QStringLiteral("intLBL1"), QStringLiteral("intLBL1"), Kind::WideString, 255 },
        { QStringLiteral("intLBL2"), QStringLiteral("intLBL2"), Kind::WideString, 255 },
        { QStringLiteral("intLBL3"), QStringLiteral("intLBL3"), Kind::WideString, 255 },
        { QStringLiteral("intLBLPhone"), QStringLiteral("intLBLPhone"), Kind::WideString, 255 },
        { QStringLiteral("intLBLWhats"), QStringLiteral("intLBLWhats"), Kind::WideString, 255 },
        { QStringLiteral("intLBLInsta"), QStringLiteral("intLBLInsta"), Kind::WideString, 255 },
        { QStringLiteral("intLBLOrvy"), QStringLiteral("intLBLOrvy"), Kind::WideString, 255 },
        { QStringLiteral("fbLink"), QStringLiteral("FacebookLink"), Kind::WideString, 255 },
        { QStringLiteral("lblColor1"), QStringLiteral("lblColor1"), Kind::WideString, 30 },
        { QStringLiteral("lblColor2"), QStringLiteral("lblColor2"), Kind::WideString, 30 },
        { QStringLiteral("lblColor3"), QStringLiteral("lblColor3"), Kind::WideString, 30 },
    } };
    return columns;
}

bool matches(Kind kind, const ResultSet::Column &column)
{
    // Any integer serves as the id and any character type as text: the declared sizes are
    // applied when reading, so a wider column is no mismatch.
    return kind == Kind::AutoInc ? isInteger(column.type) : isText(column);
}

const QString queryName = QStringLiteral("interfaceQ");

} // namespace

InterfaceQuery::InterfaceQuery(Connection &connection)
    : m_query(connection, queryName)
{
}

void InterfaceQuery::open()
{
    m_query.open(sql::q1Interface());
    try {
        checkColumns();
    } catch (...) {
        m_query.close();
        throw;
    }
}

void InterfaceQuery::checkColumns() const
{
    for (const DeclaredColumn &declared : declaredColumns()) {
        const int index = m_query.fieldIndex(declared.name);
        if (index < 0)
            throw DbError(0, queryName + QStringLiteral(": Field '%1' not found").arg(declared.label));
        const ResultSet::Column &column = m_query.result().columns.at(index);
        if (!matches(declared.kind, column))
            throw DbError(0,
                queryName
                    + QStringLiteral(": Type mismatch for field '%1', expecting: %2 actual: %3")
                          .arg(declared.label, kindName(declared.kind), actualKind(column)));
    }
}

namespace {

const DeclaredColumn &findDeclared(const QString &field)
{
    for (const DeclaredColumn &declared : declaredColumns()) {
        if (declared.name.compare(field, Qt::CaseInsensitive) == 0)
            return declared;
    }
    throw DbError(0, queryName + QStringLiteral(": Field '%1' not found").arg(field));
}

} // namespace

QString InterfaceQuery::asString(const QString &field) const
{
    const DeclaredColumn &declared = findDeclared(field);
    return cut(m_query.asString(declared.name), declared.size);
}

qint32 InterfaceQuery::asInteger(const QString &field) const
{
    const DeclaredColumn &declared = findDeclared(field);
    if (declared.kind == Kind::AutoInc)
        return m_query.asInteger(declared.name);
    // A text column holds at most its declared size, so that is what is converted.
    if (m_query.isNull(declared.name))
        return 0;
    return parseInteger(cut(m_query.asString(declared.name), declared.size));
}

} // namespace orvy::data
