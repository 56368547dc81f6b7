#include "core/linkfilter.h"

namespace orvy {

std::optional<QUrl> linkToOpen(const QString &link)
{
    const QUrl url(link.trimmed(), QUrl::TolerantMode);
    if (!url.isValid())
        return std::nullopt;
    const QString scheme = url.scheme(); // QUrl keeps schemes in lower case
    if (scheme == u"http" || scheme == u"https") {
        if (url.host().isEmpty())
            return std::nullopt;
        return url;
    }
    // An address or number, never a host or a path of the machine's own.
    if ((scheme == u"mailto" || scheme == u"tel") && !url.path().isEmpty() && url.host().isEmpty()
        && !url.path().startsWith(u'/'))
        return url;
    return std::nullopt;
}

} // namespace orvy
