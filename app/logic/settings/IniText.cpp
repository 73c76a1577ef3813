#include "IniText.h"

#include <cctype>

namespace {

const std::string Utf8Bom = "\xEF\xBB\xBF";

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A section header "[name]"; `name` is what stands between the brackets, trimmed.
bool IsSectionLine(const std::string& line, std::string& name) {
    const std::string t = Trim(line);
    if (t.empty() || t.front() != '[')
        return false;
    const auto close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// A line "key=value" that is not a comment. Lines without "=" are kept but hold no key.
bool IsKeyLine(const std::string& line, std::string& key, std::string& value) {
    const std::string t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[')
        return false;
    const auto eq = t.find('=');
    if (eq == std::string::npos)
        return false;
    key = Trim(t.substr(0, eq));
    value = Trim(t.substr(eq + 1));
    return !key.empty();
}

} // namespace

TIniText TIniText::Parse(const std::string& content) {
    TIniText ini;
    size_t pos = 0;
    if (content.compare(0, Utf8Bom.size(), Utf8Bom) == 0) {
        ini.Bom = Utf8Bom;
        pos = Utf8Bom.size();
    }
    while (pos < content.size()) {
        const auto nl = content.find('\n', pos);
        if (nl == std::string::npos) {
            ini.Lines.push_back({content.substr(pos), ""});
            break;
        }
        std::string text = content.substr(pos, nl - pos);
        std::string eol = "\n";
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
            eol = "\r\n";
        }
        ini.Lines.push_back({std::move(text), std::move(eol)});
        pos = nl + 1;
    }
    return ini;
}

std::string TIniText::Serialize() const {
    std::string out = Bom;
    for (const auto& line : Lines)
        out += line.Text + line.Eol;
    return out;
}

int TIniText::FindSection(const std::string& section) const {
    std::string name;
    for (size_t i = 0; i < Lines.size(); ++i)
        if (IsSectionLine(Lines[i].Text, name) && SameText(name, section))
            return static_cast<int>(i);
    return -1;
}

int TIniText::SectionEnd(int header) const {
    std::string name;
    int i = header + 1;
    while (i < static_cast<int>(Lines.size()) && !IsSectionLine(Lines[i].Text, name))
        ++i;
    return i;
}

int TIniText::FindKey(int header, const std::string& key) const {
    std::string k, v;
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i)
        if (IsKeyLine(Lines[i].Text, k, v) && SameText(k, key))
            return i;
    return -1;
}

bool TIniText::Find(const std::string& section, const std::string& key, std::string& value) const {
    const int header = FindSection(section);
    const int line = header < 0 ? -1 : FindKey(header, key);
    if (line < 0)
        return false;
    std::string k;
    IsKeyLine(Lines[line].Text, k, value);
    return true;
}

std::string TIniText::NewLineEnd() const {
    for (const auto& line : Lines)
        if (!line.Eol.empty())
            return line.Eol;
    return "\n";
}

void TIniText::InsertLine(int index, const std::string& text) {
    const std::string eol = NewLineEnd();
    // The line before the new one must end, or the two would run together.
    if (index > 0 && Lines[index - 1].Eol.empty())
        Lines[index - 1].Eol = eol;
    Lines.insert(Lines.begin() + index, TLine{text, eol});
}

void TIniText::Set(const std::string& section, const std::string& key, const std::string& value) {
    int header = FindSection(section);
    if (header < 0) {
        InsertLine(static_cast<int>(Lines.size()), "[" + section + "]");
        header = static_cast<int>(Lines.size()) - 1;
    }
    const int line = FindKey(header, key);
    if (line >= 0) {
        std::string k, v;
        IsKeyLine(Lines[line].Text, k, v);
        Lines[line].Text = k + "=" + value;
        return;
    }
    // After the last key of the section, so that blank lines and comments that lead into
    // the next section stay with it.
    int after = header;
    std::string k, v;
    for (int i = header + 1; i < SectionEnd(header); ++i)
        if (IsKeyLine(Lines[i].Text, k, v))
            after = i;
    InsertLine(after + 1, key + "=" + value);
}
