#include "IntegerText.h"

#include <limits>

std::optional<qint64> IntegerText::parse(QStringView text, int base) {
    if (text.isEmpty())
        return std::nullopt;
    bool negative = false;
    qsizetype index = 0;
    if (text[0] == QLatin1Char('+') || text[0] == QLatin1Char('-')) {
        negative = text[0] == QLatin1Char('-');
        index = 1;
    }
    if (index == text.size())
        return std::nullopt;

    // Accumulate towards the sign so that the minimum value parses.
    const qint64 limit = negative ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    qint64 value = 0;
    for (; index < text.size(); ++index) {
        const char16_t c = text[index].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'z')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'Z')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        if (digit >= base)
            return std::nullopt;
        if (negative) {
            if (value < (limit + digit) / base)
                return std::nullopt;
            value = value * base - digit;
        } else {
            if (value > (limit - digit) / base)
                return std::nullopt;
            value = value * base + digit;
        }
    }
    return value;
}
