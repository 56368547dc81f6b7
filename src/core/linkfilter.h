#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace orvy {

// The address a social-link click may hand to the desktop, or nothing. Only web pages
// (http and https with a host), mail (mailto:) and telephone (tel:) links pass: the
// desktop opens anything else (local files, programs, shares, script links) with
// whatever handler it has, as the learner, and whoever can write the branding row
// would decide what a click starts.
std::optional<QUrl> linkToOpen(const QString &link);

} // namespace orvy
