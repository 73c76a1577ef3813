// Frame hooks (option "vhook"): external libraries called for every decoded picture. Each
// library is loaded once per process and found again by its path; a task keeps its own
// chain of configured hooks.
#pragma once

#include <string>
#include <vector>

#include "FrameHookApi.h"

// At most this many words (the path and its arguments) reach Configure.
constexpr int MaxFrameHookWords = 254;

// The words of a vhook value: split at "|" when it holds one, else at blanks; empty words
// are dropped; at most MaxFrameHookWords.
std::vector<std::string> SplitFrameHookWords(const std::string& value);

class TFrameHookChain {
public:
    TFrameHookChain() = default;
    ~TFrameHookChain() { Clear(); }
    TFrameHookChain(const TFrameHookChain&) = delete;
    TFrameHookChain& operator=(const TFrameHookChain&) = delete;

    // Loads (once) the library words[0], configures a hook with all words and appends it.
    // Returns false after logging why when that fails.
    bool Add(const std::vector<std::string>& words);
    // Calls Process of every hook in chain order.
    void Process(TFrameHookPicture& picture, int64_t pts) const;
    // Calls Release of every hook and empties the chain.
    void Clear();
    bool Empty() const { return hooks_.empty(); }
    size_t Size() const { return hooks_.size(); }

private:
    struct THook {
        void* Context = nullptr;
        TFrameHookProcess Process = nullptr;
        TFrameHookRelease Release = nullptr;
    };
    std::vector<THook> hooks_;
};
