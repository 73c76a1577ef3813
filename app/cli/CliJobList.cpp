#include "CliJobList.h"

#include <charconv>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

bool ParseCount(std::string_view text, int& value) {
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && at == end;
}

TListEntry EntryOf(const std::string& text, const std::string& baseFolder) {
    const fs::path entry(text);
    const bool asWritten = entry.is_absolute() || baseFolder.empty();
    return {asWritten ? text : (fs::path(baseFolder) / entry).lexically_normal().string(),
            PathKey(text)};
}

} // namespace

std::string PathKey(const std::string& path) {
    return fs::path(path).lexically_normal().generic_string();
}

bool ParseShard(const std::string& text, TShard& shard, std::string& problem) {
    const size_t slash = text.find('/');
    TShard read;
    if (slash == std::string::npos ||
        !ParseCount(std::string_view(text).substr(0, slash), read.Index) ||
        !ParseCount(std::string_view(text).substr(slash + 1), read.Count)) {
        problem = "--shard takes K/N (two whole numbers, 0 <= K < N), not \"" + text + "\"";
        return false;
    }
    if (read.Count < 1 || read.Index < 0 || read.Index >= read.Count) {
        problem = "--shard " + text + ": K must be at least 0 and below N (N at least 1)";
        return false;
    }
    shard = read;
    return true;
}

uint64_t StableHash(std::string_view text) {
    uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    // A final mix spreads names that differ in one character over every share.
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdull;
    hash ^= hash >> 33;
    hash *= 0xc4ceb9fe1a85ec53ull;
    hash ^= hash >> 33;
    return hash;
}

bool InShard(const std::string& key, const TShard& shard) {
    if (shard.All())
        return true;
    return StableHash(key) % static_cast<uint64_t>(shard.Count) ==
           static_cast<uint64_t>(shard.Index);
}

void ReadJobList(std::istream& in, bool nullSeparated, const std::string& baseFolder,
                 const std::function<void(const TListEntry& entry)>& take) {
    std::string text;
    while (std::getline(in, text, nullSeparated ? '\0' : '\n')) {
        if (!nullSeparated && !text.empty() && text.back() == '\r')
            text.pop_back();
        if (!text.empty())
            take(EntryOf(text, baseFolder));
    }
}

std::string ListBaseFolder(const std::string& listPath) {
    if (listPath == "-")
        return "";
    return fs::path(listPath).parent_path().string();
}
