#pragma once

#include <QString>

// The five statements the program sends, in one place. They reach the server exactly as
// written here; ids are spliced in as decimal text.
namespace orvy::data::sql {

QString q1Interface(); // branding row, for interfaceQ
QString q2Courses(); // all courses
QString q3CoursesWhere(qint32 typeId); // courses of one type; 0: all
QString q4ClassTypes(); // course types
QString q5Lessons(qint32 courseId); // a course's active lessons in their order

} // namespace orvy::data::sql
