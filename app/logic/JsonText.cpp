#include "JsonText.h"

#include <cmath>
#include <cstdio>

namespace {

// The length of the valid UTF-8 sequence at text[i], or 0 when it is none (overlong forms,
// surrogates and values above U+10FFFF included).
size_t Utf8Length(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    uint32_t value = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (byte(i + k) & 0x3F);
    }
    const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
    if (overlong || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t length = Utf8Length(text, i);
            if (length == 0) {
                out += "\\ufffd";
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
        ++i;
    }
    out += "\"";
    return out;
}

void TJsonObject::Key(std::string_view key) {
    if (body_.size() > 1)
        body_ += ",";
    body_ += JsonString(key);
    body_ += ":";
}

TJsonObject& TJsonObject::Text(std::string_view key, std::string_view value) {
    Key(key);
    body_ += JsonString(value);
    return *this;
}

TJsonObject& TJsonObject::Number(std::string_view key, int64_t value, bool known) {
    Key(key);
    body_ += known ? std::to_string(value) : "null";
    return *this;
}

TJsonObject& TJsonObject::Real(std::string_view key, double value, bool known) {
    Key(key);
    if (!known || !std::isfinite(value)) {
        body_ += "null";
        return *this;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    body_ += text;
    return *this;
}

TJsonObject& TJsonObject::Raw(std::string_view key, std::string_view json) {
    Key(key);
    body_.append(json);
    return *this;
}
