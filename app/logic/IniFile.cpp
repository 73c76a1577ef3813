#include "IniFile.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "IniText.h"

namespace {

// The whole file; empty when it does not exist or cannot be read. A folder opens like a
// file but fails on the first read, which the stream library reports by throwing.
bool ReadWholeFile(const std::string& fileName, std::string& content) {
    std::error_code ec;
    if (std::filesystem::is_directory(fileName, ec))
        return false;
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return false;
    try {
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        content.clear();
        return false;
    }
    return !in.bad();
}

bool WriteWholeFile(const std::string& fileName, const std::string& content) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    return !out.fail();
}

} // namespace

bool ParseInteger(const std::string& text, int32_t& value) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return false;
    const auto last = text.find_last_not_of(" \t");
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    if (*begin == '+' && end - begin > 1 && begin[1] != '-')
        ++begin;
    int32_t parsed = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, parsed, 10);
    if (ec != std::errc() || ptr != end)
        return false;
    value = parsed;
    return true;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    std::string content, value;
    if (!ReadWholeFile(FFileName, content))
        return def;
    return TIniText::Parse(content).Find(section, key, value) ? value : def;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                              int32_t def) const {
    int32_t value = def;
    return ParseInteger(ReadString(section, key, ""), value) ? value : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) const {
    std::string content;
    std::error_code ec;
    // An existing file that cannot be read must not be replaced by one holding one key.
    if (std::filesystem::exists(FFileName, ec) && !ReadWholeFile(FFileName, content))
        throw EIniFileException("Unable to write to " + FFileName);
    TIniText ini = TIniText::Parse(content);
    ini.Set(section, key, value);
    if (!WriteWholeFile(FFileName, ini.Serialize()))
        throw EIniFileException("Unable to write to " + FFileName);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key,
                            int32_t value) const {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) const {
    WriteString(section, key, value ? "1" : "0");
}
