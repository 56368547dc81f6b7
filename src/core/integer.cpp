#include "core/integer.h"

#include "core/error.h"

namespace orvy {

namespace {

[[noreturn]] void fail(const QString &text)
{
    throw Error(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

qint32 parseInteger(const QString &text)
{
    qsizetype i = 0;
    qsizetype n = text.size();
    // Blanks around the number are allowed on both sides alike; never inside it.
    while (i < n && text.at(i) == u' ')
        ++i;
    while (n > i && text.at(n - 1) == u' ')
        --n;

    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }

    bool hex = false;
    if (i < n && (text.at(i) == u'$' || text.at(i) == u'x' || text.at(i) == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text.at(i) == u'0' && (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
        hex = true;
        i += 2;
    }

    if (i == n)
        fail(text);

    // Accumulate in 64 bits; each step checks the bound, so no overflow is possible.
    quint64 value = 0;
    const quint64 limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    for (; i < n; ++i) {
        const int digit = hex ? hexValue(text.at(i))
                              : (text.at(i) >= u'0' && text.at(i) <= u'9' ? text.at(i).unicode() - u'0' : -1);
        if (digit < 0)
            fail(text);
        value = value * (hex ? 16 : 10) + quint64(digit);
        if (value > limit)
            fail(text);
    }

    // Wrap through unsigned 32 bits: hex gives the bit pattern, and -2147483648 stays exact.
    const quint32 bits = quint32(value);
    return qint32(negative ? 0u - bits : bits);
}

} // namespace orvy
