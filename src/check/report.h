#pragma once

#include "check/findings.h"

#include <QByteArray>
#include <QString>

namespace orvy::check {

// The readable report: findings grouped by course (the catalogue as a whole first),
// failures before notes, then a summary line.
QString textReport(const CheckResult &result);

// The same for scripts: every finding and every link's measurements.
QByteArray jsonReport(const CheckResult &result);

// 0: nothing a learner would meet; 1: findings.
int exitStatus(const CheckResult &result);

} // namespace orvy::check
