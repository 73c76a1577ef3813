#include "OptionValues.h"

#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <limits>

#include "FFmpegException.h"
#include "TextUtils.h"
#include "binding/AVUtilStubs.h"

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

// Reads the whole text as a number between min and max.
bool ParseWhole(const std::string& text, int64_t min, int64_t max, int64_t& value) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    // Accumulated as a negative number, which also holds the smallest value.
    const int64_t limit = negative ? min : -max;
    int64_t acc = 0;
    for (; i < text.size(); ++i) {
        const int d = DigitValue(text[i]);
        if (d >= base)
            return false;
        if (acc < (limit + d) / base)
            return false;
        acc = acc * base - d;
        if (acc < limit)
            return false;
    }
    value = negative ? acc : -acc;
    return true;
}

[[noreturn]] void NotInteger(const std::string& value) {
    throw EConvertError(FormatText("'%s' is not a valid integer value", value.c_str()));
}

int64_t ParseTime(const char* kind, const std::string& name, const std::string& value,
                  bool duration) {
    int64_t us = 0;
    if (ff::av_parse_time(&us, value.c_str(), duration ? 1 : 0) < 0)
        throw FFmpegException(
            FormatText("Invalid %s specification for %s: %s", kind, name.c_str(), value.c_str()));
    return us;
}

} // namespace

bool OptionFlag(const std::string& value) {
    return value != "0";
}

bool TryStrToInt(const std::string& text, int& value) {
    int64_t v = 0;
    if (!ParseWhole(text, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), v))
        return false;
    value = static_cast<int>(v);
    return true;
}

bool TryStrToInt64(const std::string& text, int64_t& value) {
    return ParseWhole(text, std::numeric_limits<int64_t>::min(),
                      std::numeric_limits<int64_t>::max(), value);
}

int OptionInt(const std::string& value) {
    int v = 0;
    if (!TryStrToInt(value, v))
        NotInteger(value);
    return v;
}

int64_t OptionInt64(const std::string& value) {
    int64_t v = 0;
    if (!TryStrToInt64(value, v))
        NotInteger(value);
    return v;
}

bool TryStrToFloat(const std::string& text, char localeSeparator, float& value) {
    std::string s = Trim(text);
    for (char& c : s)
        if (c == localeSeparator)
            c = '.';
    const char* first = s.data();
    const char* last = s.data() + s.size();
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    // Only digits, one point and an exponent; from_chars would also take "inf" and "nan".
    if (first == last || !(std::isdigit(static_cast<unsigned char>(*first)) || *first == '.'))
        return false;
    double d = 0;
    const auto [end, ec] = std::from_chars(first, last, d, std::chars_format::general);
    if (ec != std::errc() || end != last)
        return false;
    const float f = static_cast<float>(negative ? -d : d);
    if (!std::isfinite(f))
        return false;
    value = f;
    return true;
}

char LocaleDecimalSeparator() {
    const lconv* lc = std::localeconv();
    return (lc != nullptr && lc->decimal_point != nullptr && lc->decimal_point[0] != '\0')
               ? lc->decimal_point[0]
               : '.';
}

float OptionFloat(const std::string& value) {
    float f = 0;
    if (!TryStrToFloat(value, LocaleDecimalSeparator(), f))
        throw EConvertError(FormatText("'%s' is not a valid floating point value", value.c_str()));
    return f;
}

int64_t OptionDuration(const std::string& name, const std::string& value) {
    return ParseTime("duration", name, value, true);
}

int64_t OptionDate(const std::string& name, const std::string& value) {
    return ParseTime("date", name, value, false);
}
