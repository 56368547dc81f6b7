#include "data/query.h"

#include "core/integer.h"
#include "data/connection.h"
#include "data/dberror.h"

namespace orvy::data {

Query::Query(Connection &connection, QString name)
    : m_connection(connection)
    , m_name(std::move(name))
{
}

void Query::close()
{
    m_open = false;
    m_result = ResultSet();
    m_row = 0;
}

void Query::open(const QString &sql)
{
    close();
    m_result = m_connection.execute(sql);
    m_open = true;
}

bool Query::eof() const
{
    return !m_open || m_row >= m_result.rows.size();
}

void Query::next()
{
    if (!eof())
        ++m_row;
}

int Query::recordCount() const
{
    return m_open ? int(m_result.rows.size()) : 0;
}

int Query::fieldIndex(const QString &field) const
{
    for (qsizetype i = 0; i < m_result.columns.size(); ++i) {
        if (m_result.columns.at(i).name.compare(field, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

const std::optional<QString> &Query::value(const QString &field) const
{
    if (!m_open)
        throw DbError(0, m_name + QStringLiteral(": Cannot perform this operation on a closed dataset"));
    const int index = fieldIndex(field);
    if (index < 0)
        throw DbError(0, m_name + QStringLiteral(": Field '%1' not found").arg(field));
    static const std::optional<QString> null;
    if (eof())
        return null;
    return m_result.rows.at(m_row).at(std::size_t(index));
}

QString Query::asString(const QString &field) const
{
    return value(field).value_or(QString());
}

bool Query::isNull(const QString &field) const
{
    return !value(field).has_value();
}

qint32 Query::asInteger(const QString &field) const
{
    const std::optional<QString> &text = value(field);
    return text ? parseInteger(*text) : 0;
}

} // namespace orvy::data
