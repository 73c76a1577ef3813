#include "OptionLines.h"

#include "TextUtils.h"

namespace {

constexpr char LineMarker[] = "<CRLF>";

std::string ReplaceMarkers(const std::string& text) {
    const size_t n = sizeof(LineMarker) - 1;
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    for (size_t pos = text.find(LineMarker); pos != std::string::npos;
         pos = text.find(LineMarker, from)) {
        out.append(text, from, pos - from);
        out += '\n';
        from = pos + n;
    }
    out.append(text, from, std::string::npos);
    return out;
}

} // namespace

std::vector<TOptionLine> ParseOptionLines(const std::string& text) {
    std::vector<TOptionLine> result;
    for (const std::string& line : SplitLines(ReplaceMarkers(NormalizeLineBreaks(Trim(text))))) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            result.push_back(TOptionLine{LowerCase(line), std::string()});
        else
            result.push_back(TOptionLine{LowerCase(line.substr(0, eq)), line.substr(eq + 1)});
    }
    return result;
}
