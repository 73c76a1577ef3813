// The value kinds of the option table: flag, int, int64, float, duration and date.
#pragma once

#include <cstdint>
#include <string>

// True unless the value is exactly "0" (so an empty value means true).
bool OptionFlag(const std::string& value);

// Whole numbers: leading blanks, an optional sign, then decimal digits or hexadecimal digits
// after "$", "0x" or "0X"; nothing may follow; the number must fit the type.
bool TryStrToInt(const std::string& text, int& value);
bool TryStrToInt64(const std::string& text, int64_t& value);
// The same, raising EConvertError "'%s' is not a valid integer value".
int OptionInt(const std::string& value);
int64_t OptionInt64(const std::string& value);

// Floating-point numbers with "." or the given locale separator as the decimal point,
// surrounding blanks allowed; the result must be a finite 32-bit float.
bool TryStrToFloat(const std::string& text, char localeSeparator, float& value);
// The decimal separator of the current locale.
char LocaleDecimalSeparator();
// With the current locale, raising EConvertError "'%s' is not a valid floating point value".
float OptionFloat(const std::string& value);

// Microseconds from av_parse_time; a rejected value raises FFmpegException
// "Invalid duration specification for <name>: <value>" (or "date").
int64_t OptionDuration(const std::string& name, const std::string& value);
int64_t OptionDate(const std::string& name, const std::string& value);
