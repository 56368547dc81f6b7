#include "core/displaytext.h"

#include <QTextBoundaryFinder>
#include <algorithm>
#include <vector>

namespace orvy {

namespace {

constexpr char16_t FSI = 0x2068;
constexpr char16_t PDI = 0x2069;
constexpr char16_t PDF = 0x202C;

bool opensEmbedding(char16_t c)
{
    return c == 0x202A || c == 0x202B || c == 0x202D || c == 0x202E; // LRE RLE LRO RLO
}

bool opensIsolate(char16_t c)
{
    return c == 0x2066 || c == 0x2067 || c == FSI; // LRI RLI FSI
}

bool isBidiControl(char16_t c)
{
    return opensEmbedding(c) || opensIsolate(c) || c == PDF || c == PDI;
}

// A NUL would vanish from the screen: it is shown as the symbol for it. Direction
// controls are kept but held inside the text: closers without an opener go, isolates left
// open are closed, and the whole goes between FSI and PDI, which also ends any embedding
// or override still open. Texts without such controls are left as they are.
QString heldWithin(const QString &text)
{
    QString shown = text;
    shown.replace(QChar(0), QChar(0x2400));
    if (std::none_of(shown.cbegin(), shown.cend(), [](QChar c) { return isBidiControl(c.unicode()); }))
        return shown;

    QString inner;
    inner.reserve(shown.size() + 2);
    std::vector<int> embeddings { 0 }; // open per isolate level, the text's own level first
    bool changed = false;
    qsizetype firstIsolateEnds = -1; // where an isolate opened by the first character closes
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const char16_t c = shown.at(i).unicode();
        if (opensEmbedding(c)) {
            ++embeddings.back();
        } else if (c == PDF) {
            if (embeddings.back() == 0) {
                changed = true;
                continue;
            }
            --embeddings.back();
        } else if (opensIsolate(c)) {
            embeddings.push_back(0);
        } else if (c == PDI) {
            if (embeddings.size() == 1) {
                changed = true;
                continue;
            }
            embeddings.pop_back();
            if (embeddings.size() == 1 && firstIsolateEnds < 0)
                firstIsolateEnds = i;
        }
        inner.append(QChar(c));
    }
    // Shown once already: one isolate from the first character to the last, sound inside.
    if (!changed && embeddings.size() == 1 && shown.front() == QChar(FSI)
        && firstIsolateEnds == shown.size() - 1)
        return shown;
    inner.append(QString(qsizetype(embeddings.size() - 1), QChar(PDI)));
    return QChar(FSI) + inner + QChar(PDI);
}

QString cut(const QString &text)
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
    qsizetype at = characters.isAtBoundary() ? keep : characters.toPreviousBoundary();
    if (at <= 0) {
        // One character longer than the limit (a letter under thousands of marks): cut
        // between its code points.
        at = keep;
        if (text.at(at - 1).isHighSurrogate())
            --at;
    }
    return text.left(at) + QChar(0x2026);
}

} // namespace

QString displayText(const QString &text)
{
    return heldWithin(cut(text));
}

} // namespace orvy
