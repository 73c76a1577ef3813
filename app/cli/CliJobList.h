// Job lists and shards: the sources of a batch read from a file or standard input (one path a
// line, or separated by NUL bytes as `find -print0` writes them), read as a stream, and the
// share of a batch that one of N tasks converts, chosen by a stable hash of each source's key
// so that the N tasks of one batch split it the same way wherever and in whatever order they
// run.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <string_view>

// Share Index of Count (0 <= Index < Count), as job arrays number their tasks.
struct TShard {
    int Index = 0;
    int Count = 1;
    bool All() const { return Count <= 1; }
    std::string Text() const { return std::to_string(Index) + "/" + std::to_string(Count); }
};

// "K/N" as a shard; else false with the reason for the user in `problem`.
bool ParseShard(const std::string& text, TShard& shard, std::string& problem);

// A 64-bit hash of `text` (FNV-1a, then mixed): the same on every machine and in every run.
uint64_t StableHash(std::string_view text);

// Whether the source of `key` (its path relative to the folder or list it came from) belongs
// to `shard`.
bool InShard(const std::string& key, const TShard& shard);

// A path as the key it is sharded by: normalised, with "/" between its parts.
std::string PathKey(const std::string& path);

// One entry of a list: the path to open and the key it is sharded by (the entry as the list
// writes it, relative to the list's folder, normalised).
struct TListEntry {
    std::string Path;
    std::string Key;
};

// Reads the entries of `in` one at a time and hands each to `take`: lines (a CR before the
// line break is dropped) or, with `nullSeparated`, NUL-separated names, which may hold line
// breaks. Empty entries are skipped. A relative entry is taken from `baseFolder` (the list
// file's own folder; empty: the current folder). The whole list is never held.
void ReadJobList(std::istream& in, bool nullSeparated, const std::string& baseFolder,
                 const std::function<void(const TListEntry& entry)>& take);

// The folder relative entries of the list file `listPath` are taken from ("" for "-",
// standard input, and for a list in the current folder).
std::string ListBaseFolder(const std::string& listPath);
