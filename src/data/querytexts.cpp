#include "data/querytexts.h"

namespace orvy::data::sql {

QString q1Interface()
{
    return QStringLiteral("SELECT * FROM interface");
}

QString q2Courses()
{
    return QStringLiteral("SELECT * FROM courses");
}

QString q3CoursesWhere(qint32 typeId)
{
    // Both branches start with a blank, so two blanks follow WHERE.
    return QStringLiteral("SELECT * FROM courses WHERE ")
        + (typeId == 0 ? QStringLiteral(" 1") : QStringLiteral(" ctID = ") + QString::number(typeId));
}

QString q4ClassTypes()
{
    return QStringLiteral("SELECT ctID, ctName FROM `classtype`");
}

QString q5Lessons(qint32 courseId)
{
    return QStringLiteral("SELECT `LName`, `LLink` FROM `lessons` WHERE cID = ") + QString::number(courseId)
        + QStringLiteral(" AND active = 1 ORDER BY LSORT;");
}

} // namespace orvy::data::sql
