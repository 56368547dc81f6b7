#include "player/playerpage.h"

namespace orvy::player {

namespace {

// The page keeps its historic shape: a "head" start tag with no end tag, and the
// line break after <html>.
constexpr QStringView pagePrefix
    = u"<html>\r\n<head><body><video id=\"vid\" width=\"100%\" height=\"100%\" controls=\"play timeline "
      u"volume\" controlslist=\"play nodownload\" autoplay=\"\" name=\"media\"><source src=\"";
constexpr QStringView pageSuffix = u"\" type=\"video/mp4\"></video> </body></html>";

} // namespace

QString buildPlayerPage(const QString &link)
{
    // toHtmlEscaped() replaces exactly &, ", < and >; the attribute value then
    // decodes back to the stored link.
    QString page;
    page.reserve(pagePrefix.size() + link.size() + pageSuffix.size() + 16);
    page += pagePrefix;
    page += link.toHtmlEscaped();
    page += pageSuffix;
    return page;
}

QString fullScreenScript()
{
    return QStringLiteral("document.getElementById(\"vid\").msRequestFullScreen()");
}

} // namespace orvy::player
