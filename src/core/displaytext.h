#pragma once

#include <QString>

namespace orvy {

// Longest database text a widget is given, in UTF-16 code units. The catalogue's names
// and captions hold at most 255 characters; a text eight times that long still lays out
// in a fraction of a millisecond and, on one line, stays far within the widest window the
// screen can hold, while a name of millions of characters would freeze the window.
inline constexpr qsizetype maxDisplayLength = 2000;

// Database text as a widget shows it: as it is up to maxDisplayLength, else cut on a
// character boundary (never inside a surrogate pair, a letter and its marks, or an emoji
// sequence) and ended with "…", maxDisplayLength in all. Only what is shown is cut: links
// and other values the program acts on are kept as stored.
//
// What one text holds cannot act on what is shown beside it: a NUL is shown as "␀", and a
// text with direction controls (embeddings, overrides, isolates) goes between FSI and PDI
// with those left open closed and stray closers dropped. Other texts are shown as stored.
QString displayText(const QString &text);

} // namespace orvy
