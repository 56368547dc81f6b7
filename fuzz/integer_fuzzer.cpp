// The reader of integers and colours stored as text, against a reference written
// here from the rules alone: blanks before and after, an optional sign, then decimal digits,
// or hexadecimal digits after "$", "x" or "0x"; a hexadecimal value is the 32-bit
// pattern; anything else is refused with the same message.
#include "core/error.h"
#include "core/integer.h"
#include "ui/colors.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace {

bool isDecimal(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool isHex(char16_t c)
{
    return isDecimal(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The reference: validate the shape first, then let the standard library convert
// the digits once leading zeros are gone and the length is known to fit.
std::optional<qint32> reference(const std::u16string &text)
{
    std::size_t i = text.find_first_not_of(u' ');
    if (i == std::u16string::npos)
        return std::nullopt;
    const std::u16string trimmed = text.substr(0, text.find_last_not_of(u' ') + 1);
    bool negative = false;
    if (trimmed[i] == u'+' || trimmed[i] == u'-')
        negative = trimmed[i++] == u'-';
    int base = 10;
    if (trimmed.compare(i, 1, u"$") == 0 || trimmed.compare(i, 1, u"x") == 0 || trimmed.compare(i, 1, u"X") == 0) {
        base = 16;
        i += 1;
    } else if (trimmed.compare(i, 2, u"0x") == 0 || trimmed.compare(i, 2, u"0X") == 0) {
        base = 16;
        i += 2;
    }
    std::u16string digits = trimmed.substr(i);
    if (digits.empty())
        return std::nullopt;
    for (char16_t c : digits) {
        if (base == 16 ? !isHex(c) : !isDecimal(c))
            return std::nullopt;
    }
    digits.erase(0, std::min(digits.find_first_not_of(u'0'), digits.size() - 1));
    if (digits.size() > (base == 16 ? 8u : 10u))
        return std::nullopt;
    const std::string ascii(digits.begin(), digits.end());
    const unsigned long long magnitude = std::stoull(ascii, nullptr, base);
    if (base == 16 && magnitude > 0xFFFFFFFFull)
        return std::nullopt;
    if (base == 10 && magnitude > (negative ? 2147483648ull : 2147483647ull))
        return std::nullopt;
    const auto bits = static_cast<std::uint32_t>(magnitude);
    return static_cast<qint32>(negative ? std::uint32_t(0) - bits : bits);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses how the rest becomes text: UTF-8 as the database sends
    // it, or raw UTF-16 (lone surrogates and all).
    const char *rest = reinterpret_cast<const char *>(data) + 1;
    const qsizetype length = qsizetype(size - 1);
    QString text;
    if (data[0] & 1) {
        std::u16string units(std::size_t(length / 2), u'\0');
        std::memcpy(units.data(), rest, units.size() * 2);
        text = QString::fromStdU16String(units);
    } else {
        text = QString::fromUtf8(rest, length);
    }

    const std::optional<qint32> expected = reference(text.toStdU16String());
    std::optional<qint32> actual;
    try {
        actual = orvy::parseInteger(text);
    } catch (const orvy::Error &e) {
        if (e.message() != QStringLiteral("'%1' is not a valid integer value").arg(text))
            __builtin_trap();
    }
    if (actual != expected)
        __builtin_trap();
    if (actual) {
        // The colour: 0x00BBGGRR, red in the low byte; the top byte is ignored.
        const QColor colour = orvy::ui::colorFromBgr(*actual);
        const auto bits = static_cast<std::uint32_t>(*actual);
        if (colour.red() != int(bits & 0xFF) || colour.green() != int((bits >> 8) & 0xFF)
            || colour.blue() != int((bits >> 16) & 0xFF) || colour.alpha() != 255)
            __builtin_trap();
    }
    return 0;
}
