// Saturating hexadecimal and decimal readers for device identity texts.
#include "mac/TextNumbers.h"

#include <limits>

namespace TextNumbers {

namespace {

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

}  // namespace

std::uint32_t hexUInt32(const QString& text)
{
    int position = 0;
    if (text.size() >= 2 && text[0] == QLatin1Char('0') && (text[1] == QLatin1Char('x') || text[1] == QLatin1Char('X')))
        position = 2;

    std::uint64_t value = 0;
    for (; position < text.size(); ++position) {
        const int digit = hexDigitValue(text[position]);
        if (digit < 0)
            break;
        value = value * 16 + static_cast<std::uint64_t>(digit);
        // Once past 32 bits the result stays saturated whatever digits follow.
        if (value > std::numeric_limits<std::uint32_t>::max())
            value = std::numeric_limits<std::uint32_t>::max();
    }
    return static_cast<std::uint32_t>(value);
}

std::int32_t decimalInt32(const QString& text)
{
    int position = 0;
    while (position < text.size() && (text[position] == QLatin1Char(' ') || text[position] == QLatin1Char('\t')
                                      || text[position] == QLatin1Char('\n') || text[position] == QLatin1Char('\r')))
        ++position;

    bool negative = false;
    if (position < text.size() && (text[position] == QLatin1Char('-') || text[position] == QLatin1Char('+'))) {
        negative = text[position] == QLatin1Char('-');
        ++position;
    }

    // Accumulate the magnitude and stop growing it once it is past either bound.
    constexpr std::int64_t kLimit = std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;
    std::int64_t magnitude = 0;
    for (; position < text.size(); ++position) {
        const QChar c = text[position];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        if (magnitude <= kLimit)
            magnitude = magnitude * 10 + (c.unicode() - '0');
    }

    if (negative)
        return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::min() : static_cast<std::int32_t>(-magnitude);
    return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(magnitude);
}

}  // namespace TextNumbers
