#include "OldOptionNames.h"

#include <cstring>

#include "TextUtils.h"

namespace {

// How an old line turns into current settings.
enum class TOldForm {
    Renamed,       // the same value under a new name, when the old name is unknown today
    FlagWords,     // words of a flags option that became options of their own
    PartitionWords // "+parti8x8-partp4x4...": today a comma-separated list of partitions
};

struct TOldOption {
    const char* Name;
    TOldForm Form;
    const char* NewName; // Renamed, PartitionWords
};

// The platform mapping of libx264's old generic option names to the wrapper's options of
// today. Names that the generic codec options still carry and that still reach x264 (subq,
// cmp=+chroma, me_range, trellis, qmin, qmax, qdiff, qcomp, i_qfactor, bf, refs, g,
// keyint_min, flags=+loop) need no entry; bidir_refine has no counterpart in x264 any more
// and stays a generic option that x264 ignores. The old partition words set x264's intra and
// inter analysis; today's list sets the inter analysis only.
constexpr TOldOption OldOptions[] = {
    {"directpred", TOldForm::Renamed, "direct-pred"},
    {"wpredp", TOldForm::Renamed, "weightp"},
    {"me_method", TOldForm::Renamed, "motion-est"},
    {"cqp", TOldForm::Renamed, "qp"},
    {"aq_mode", TOldForm::Renamed, "aq-mode"},
    {"rc_lookahead", TOldForm::Renamed, "rc-lookahead"},
    {"flags2", TOldForm::FlagWords, nullptr},
    {"partitions", TOldForm::PartitionWords, "partitions"},
};

// A word of the old "flags2" and the option that holds it today, with its values for "+"
// and "-".
struct TOldFlag {
    const char* Word;
    const char* Option;
    const char* On;
    const char* Off;
};

constexpr TOldFlag OldFlags2[] = {
    {"wpred", "weightb", "1", "0"},         {"dct8x8", "8x8dct", "1", "0"},
    {"mixed_refs", "mixed-refs", "1", "0"}, {"fastpskip", "fast-pskip", "1", "0"},
    {"mbtree", "mbtree", "1", "0"},         {"bpyramid", "b-pyramid", "normal", "none"},
};

// The old partition flags and the partition names of today's list.
struct TOldPartition {
    const char* Word;
    const char* Partition;
};

constexpr TOldPartition OldPartitions[] = {
    {"parti8x8", "i8x8"}, {"parti4x4", "i4x4"}, {"partp8x8", "p8x8"},
    {"partp4x4", "p4x4"}, {"partb8x8", "b8x8"},
};

struct TFlagWord {
    char Sign = 0; // '+', '-', or 0 when the word has none
    std::string Word;
};

// "+a-b+c" or "a": the words with their signs.
std::vector<TFlagWord> SplitFlagWords(const std::string& value) {
    std::vector<TFlagWord> words;
    size_t pos = 0;
    while (pos < value.size()) {
        TFlagWord word;
        if (value[pos] == '+' || value[pos] == '-')
            word.Sign = value[pos++];
        const size_t end = value.find_first_of("+-", pos);
        word.Word = value.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        words.push_back(word);
        pos = end == std::string::npos ? value.size() : end;
    }
    return words;
}

const TOldFlag* FindOldFlag(const std::string& word) {
    for (const TOldFlag& flag : OldFlags2)
        if (word == flag.Word)
            return &flag;
    return nullptr;
}

std::optional<std::vector<TOptionSetting>> TranslateFlagWords(const std::string& name,
                                                              const std::string& value,
                                                              const TOptionVocabulary& vocabulary) {
    std::vector<TOptionSetting> settings;
    std::string kept;
    for (const TFlagWord& word : SplitFlagWords(value)) {
        const TOldFlag* old = FindOldFlag(word.Word);
        if (old == nullptr || (vocabulary.FlagKnown && vocabulary.FlagKnown(name, word.Word))) {
            if (word.Sign != 0)
                kept += word.Sign;
            kept += word.Word;
            continue;
        }
        settings.push_back(TOptionSetting{old->Option, word.Sign == '-' ? old->Off : old->On});
    }
    if (settings.empty())
        return std::nullopt;
    if (!kept.empty())
        settings.insert(settings.begin(), TOptionSetting{name, kept});
    return settings;
}

std::optional<std::vector<TOptionSetting>> TranslatePartitions(const char* newName,
                                                               const std::string& value) {
    std::string list;
    for (const TFlagWord& word : SplitFlagWords(value)) {
        const TOldPartition* found = nullptr;
        for (const TOldPartition& partition : OldPartitions)
            if (word.Word == partition.Word)
                found = &partition;
        // A value in today's form (or with a word of neither generation) stays as it is.
        if (found == nullptr || word.Sign == 0)
            return std::nullopt;
        if (word.Sign == '+') {
            if (!list.empty())
                list += ',';
            list += found->Partition;
        }
    }
    if (list.empty())
        list = "none";
    return std::vector<TOptionSetting>{TOptionSetting{newName, list}};
}

} // namespace

std::optional<std::vector<TOptionSetting>> TranslateOldOption(const std::string& name,
                                                              const std::string& value,
                                                              const TOptionVocabulary& vocabulary) {
    for (const TOldOption& old : OldOptions) {
        if (name != old.Name)
            continue;
        switch (old.Form) {
        case TOldForm::Renamed:
            if (vocabulary.NameKnown && vocabulary.NameKnown(name))
                return std::nullopt;
            return std::vector<TOptionSetting>{TOptionSetting{old.NewName, value}};
        case TOldForm::FlagWords:
            return TranslateFlagWords(name, value, vocabulary);
        case TOldForm::PartitionWords:
            return TranslatePartitions(old.NewName, value);
        }
    }
    return std::nullopt;
}

std::string DescribeSettings(const std::vector<TOptionSetting>& settings) {
    std::string text;
    for (const TOptionSetting& setting : settings) {
        if (!text.empty())
            text += ' ';
        text += setting.Name + "=" + setting.Value;
    }
    return text;
}

bool TranslatedEncoder(const std::string& codecName) {
    return SameText(codecName, "libx264") || SameText(codecName, "libx264rgb");
}
