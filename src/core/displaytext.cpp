#include "core/displaytext.h"

#include <QTextBoundaryFinder>

namespace orvy {

QString displayText(const QString &text)
{
    if (text.size() <= maxDisplayLength)
        return text;
    // Room for the mark, so that a text cut once is shown as it is.
    const qsizetype keep = maxDisplayLength - 1;
    // Whether a character ends where the cut falls depends on what comes before it and
    // on the one character after, so only that much is looked at, never the whole text.
    qsizetype look = keep + 1;
    if (text.at(keep).isHighSurrogate() && look < text.size())
        ++look;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text.constData(), look);
    characters.setPosition(keep);
    qsizetype cut = characters.isAtBoundary() ? keep : characters.toPreviousBoundary();
    if (cut <= 0) {
        // One character longer than the limit (a letter under thousands of marks): cut
        // between its code points.
        cut = keep;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
    }
    return text.left(cut) + QChar(0x2026);
}

} // namespace orvy
