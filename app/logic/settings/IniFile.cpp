#include "IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

bool WriteAll(int fd, const std::string& content) {
    const char* p = content.data();
    size_t left = content.size();
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// The file a write replaces: the target of a link, so that the link stays a link.
std::filesystem::path ReplacedPath(const std::string& fileName) {
    std::error_code ec;
    const std::filesystem::path path(fileName);
    if (std::filesystem::is_symlink(path, ec)) {
        const std::filesystem::path target = std::filesystem::canonical(path, ec);
        if (!ec)
            return target;
    }
    return path;
}

// Makes the rename itself lasting; a folder that cannot be flushed changes nothing.
void FlushFolder(const std::filesystem::path& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Replaces the file with `content` through a hidden temporary file in the same folder (so
// that the rename stays on one file system): written, flushed, then renamed over the old one.
bool ReplaceWholeFile(const std::string& fileName, const std::string& content) {
    const std::filesystem::path target = ReplacedPath(fileName);
    const std::filesystem::path temp =
        target.parent_path() /
        ("." + target.filename().string() + "." + std::to_string(getpid()) + ".tmp");
    unlink(temp.c_str()); // a leftover of a crashed write of this process id
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat old {};
    if (stat(target.c_str(), &old) == 0)
        fchmod(fd, old.st_mode & 07777); // the settings keep their permissions
    bool ok = WriteAll(fd, content) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    FlushFolder(target.parent_path());
    return true;
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
    WriteValues({TIniValue{section, key, value}});
}

void TIniFile::WriteValues(const std::vector<TIniValue>& values) const {
    std::string content;
    std::error_code ec;
    // An existing file that cannot be read must not be replaced by one holding these keys only.
    if (std::filesystem::exists(FFileName, ec) && !ReadWholeFile(FFileName, content))
        throw EIniFileException("Unable to write to " + FFileName);
    TIniText ini = TIniText::Parse(content);
    for (const TIniValue& v : values)
        ini.Set(v.Section, v.Key, v.Value);
    if (!ReplaceWholeFile(FFileName, ini.Serialize()))
        throw EIniFileException("Unable to write to " + FFileName);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key,
                            int32_t value) const {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) const {
    WriteString(section, key, value ? "1" : "0");
}
