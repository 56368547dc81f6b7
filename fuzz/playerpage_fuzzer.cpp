// The player page builder on arbitrary links: the page keeps its fixed shape, the
// link's attribute holds no raw quote or angle bracket, and an HTML parser reading
// the attribute gets the link back whole.
#include "player/playerpage.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

const QString before = QStringLiteral("<source src=\"");
const QString after = QStringLiteral("\" type=\"video/mp4\"></video> </body></html>");

// Decodes a double-quoted attribute value the way the HTML tokenizer does for the
// references a careful writer uses (&amp; &quot; &lt; &gt; &#n; &#xh;). Any other "&"
// is refused: a browser might take it for the start of a named reference.
bool decodeAttribute(const QString &value, QString &out)
{
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'"' || c == u'<' || c == u'>')
            return false;
        if (c != u'&') {
            out += c;
            continue;
        }
        const qsizetype end = value.indexOf(u';', i);
        if (end < 0)
            return false;
        const QString name = value.mid(i + 1, end - i - 1);
        if (name == u"amp")
            out += u'&';
        else if (name == u"quot")
            out += u'"';
        else if (name == u"lt")
            out += u'<';
        else if (name == u"gt")
            out += u'>';
        else if (name.startsWith(u'#')) {
            bool ok = false;
            const bool hex = name.size() > 1 && (name.at(1) == u'x' || name.at(1) == u'X');
            const uint code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            // The tokenizer replaces these rather than keeping them.
            if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)
                || (code >= 0x80 && code <= 0x9F))
                return false;
            out += QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        } else {
            return false;
        }
        i = end;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses how the rest becomes the link: UTF-8 as the database
    // sends it, or raw UTF-16.
    const char *rest = reinterpret_cast<const char *>(data) + 1;
    QString link;
    if (data[0] & 1) {
        std::u16string units((size - 1) / 2, u'\0');
        std::memcpy(units.data(), rest, units.size() * 2);
        link = QString::fromStdU16String(units);
    } else {
        link = QString::fromUtf8(rest, qsizetype(size - 1));
    }

    const QString page = orvy::player::buildPlayerPage(link);
    const qsizetype start = page.indexOf(before);
    if (start < 0 || !page.endsWith(after) || page.indexOf(before, start + 1) >= 0)
        __builtin_trap();
    const qsizetype valueStart = start + before.size();
    const QString value = page.mid(valueStart, page.size() - after.size() - valueStart);
    QString decoded;
    if (!decodeAttribute(value, decoded) || decoded != link)
        __builtin_trap();
    // Nothing before the attribute depends on the link.
    if (page.left(start) != orvy::player::buildPlayerPage(QString()).left(start))
        __builtin_trap();
    return 0;
}
