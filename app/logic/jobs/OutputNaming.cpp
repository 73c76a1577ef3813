#include "OutputNaming.h"

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <vector>

#include "OutputClaim.h"
#include "OutputFormats.h"
#include "settings/ShellFolders.h"

namespace {

// The policies by their names on the command line.
const struct {
    const char* Name;
    TExistingOutputs Policy;
} PolicyNames[] = {
    {"increment", TExistingOutputs::Increment},
    {"skip", TExistingOutputs::Skip},
    {"overwrite", TExistingOutputs::Overwrite},
    {"newer", TExistingOutputs::Newer},
};

// The fields of a name pattern and the text each takes from the tags.
const struct {
    const char* Name;
    std::string TSourceTags::*Tag; // null: the source's file name
} Fields[] = {
    {"artist", &TSourceTags::Artist},
    {"albumartist", &TSourceTags::AlbumArtist},
    {"album", &TSourceTags::Album},
    {"title", &TSourceTags::Title},
    {"track", &TSourceTags::Track},
    {"disc", &TSourceTags::Disc},
    {"year", &TSourceTags::Year},
    {"genre", &TSourceTags::Genre},
    {"filename", nullptr},
};

constexpr size_t MaxNamePartBytes = 200;
constexpr int MaxNumber = 32768;

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool RefusedChar(unsigned char c) {
    return c < 32 || c == 127 || std::strchr("/\\:*?\"<>|", c) != nullptr;
}

// The leading digits of `text` ("3/12" gives "3"), empty when it starts with none.
std::string LeadingNumber(const std::string& text) {
    size_t n = 0;
    while (n < text.size() && std::isdigit(static_cast<unsigned char>(text[n])))
        ++n;
    return text.substr(0, n);
}

// The text a field gives: the number parts of track, disc and year, the tag itself else.
std::string FieldText(const std::string& field, const std::string& value) {
    const std::string number = LeadingNumber(value);
    if (field == "track" && !number.empty()) {
        const std::string plain =
            number.substr(std::min(number.find_first_not_of('0'), number.size() - 1));
        return plain.size() < 2 ? "0" + plain : plain;
    }
    if (field == "disc" && !number.empty())
        return number.substr(std::min(number.find_first_not_of('0'), number.size() - 1));
    if (field == "year" && number.size() == 4)
        return number;
    return value;
}

// The pattern's parts: literal texts and fields ("{name}" with a known name).
struct TPatternPart {
    std::string Text;
    int Field = -1; // index into Fields, -1 for a literal text
};

// Splits `pattern`; an unknown "{name}" is kept as a field of index -2 with its name.
std::vector<TPatternPart> SplitPattern(const std::string& pattern) {
    std::vector<TPatternPart> parts;
    size_t at = 0;
    while (at < pattern.size()) {
        const size_t open = pattern.find('{', at);
        const size_t close = open == std::string::npos ? open : pattern.find('}', open);
        if (close == std::string::npos) {
            parts.push_back({pattern.substr(at), -1});
            break;
        }
        if (open > at)
            parts.push_back({pattern.substr(at, open - at), -1});
        const std::string name = pattern.substr(open + 1, close - open - 1);
        int field = -2;
        for (size_t i = 0; i < std::size(Fields); ++i)
            if (name == Fields[i].Name)
                field = static_cast<int>(i);
        parts.push_back({name, field});
        at = close + 1;
    }
    return parts;
}

bool IsLink(const struct stat& st) {
    return S_ISLNK(st.st_mode);
}

TFileId IdOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// True when the file of `candidate` is not older than the one of `source`.
bool NotOlder(const struct stat& candidate, const struct stat& source) {
    if (candidate.st_mtim.tv_sec != source.st_mtim.tv_sec)
        return candidate.st_mtim.tv_sec > source.st_mtim.tv_sec;
    return candidate.st_mtim.tv_nsec >= source.st_mtim.tv_nsec;
}

} // namespace

bool ExistingOutputsOf(const std::string& name, TExistingOutputs& policy) {
    for (const auto& entry : PolicyNames)
        if (name == entry.Name) {
            policy = entry.Policy;
            return true;
        }
    return false;
}

std::string NamePatternProblem(const std::string& pattern) {
    bool named = false;
    for (const TPatternPart& part : SplitPattern(pattern)) {
        if (part.Field == -2) {
            std::string known;
            for (const auto& field : Fields)
                known += std::string(known.empty() ? "" : " ") + "{" + field.Name + "}";
            return "unknown field {" + part.Text + "}; the fields are " + known;
        }
        if (part.Field >= 0 || part.Text.find_first_not_of("/ ") != std::string::npos)
            named = true;
    }
    if (!named)
        return "the pattern gives no name";
    return "";
}

std::string SafeNamePart(const std::string& text) {
    std::string safe;
    for (const char c : text)
        safe += RefusedChar(static_cast<unsigned char>(c)) ? '_' : c;
    const size_t first = safe.find_first_not_of('.');
    safe = first == std::string::npos ? "" : safe.substr(first);
    if (safe.size() > MaxNamePartBytes) {
        size_t cut = MaxNamePartBytes;
        while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80)
            --cut;
        safe.resize(cut);
    }
    const size_t last = safe.find_last_not_of(". ");
    safe = last == std::string::npos ? "" : safe.substr(0, last + 1);
    return safe.empty() ? "_" : safe;
}

std::string ExpandNamePattern(const std::string& pattern, const TSourceTags& tags,
                              const std::string& fileName) {
    std::string expanded;
    for (const TPatternPart& part : SplitPattern(pattern)) {
        if (part.Field < 0) {
            expanded += part.Text;
            continue;
        }
        const auto& field = Fields[part.Field];
        const std::string value = Trimmed(field.Tag ? tags.*field.Tag : fileName);
        if (value.empty())
            return "";
        // A tag's own "/" ("AC/DC") is no folder.
        std::string text = FieldText(field.Name, value);
        for (char& c : text)
            if (c == '/')
                c = '_';
        expanded += text;
    }
    std::string path;
    size_t at = 0;
    while (at <= expanded.size()) {
        size_t slash = expanded.find('/', at);
        if (slash == std::string::npos)
            slash = expanded.size();
        const std::string part = Trimmed(expanded.substr(at, slash - at));
        if (!part.empty())
            path += (path.empty() ? "" : "/") + SafeNamePart(part);
        at = slash + 1;
    }
    return path;
}

void AddFileIds(const std::string& path, std::set<TFileId>& ids) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0)
        ids.insert(IdOf(st));
    if (stat(path.c_str(), &st) == 0)
        ids.insert(IdOf(st));
}

TOutputPlan PlanOutputPath(const std::string& folder, const std::string& name,
                           TExistingOutputs policy, const std::string& source,
                           const std::set<std::string>& claimed, const std::set<TFileId>& sources) {
    const std::string dir = folder.empty() ? "" : EnsureTrailingSeparator(folder);
    const size_t slash = name.find_last_of('/');
    const std::string sub = slash == std::string::npos ? "" : name.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    const size_t dot = file.find_last_of('.');
    const std::string base = dot == std::string::npos ? file : file.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : file.substr(dot);

    struct stat sourceStat {};
    const bool sourceKnown = stat(source.c_str(), &sourceStat) == 0;
    std::set<TFileId> own;
    AddFileIds(source, own);
    TOutputPlan plan;
    for (int i = 0; i <= MaxNumber; ++i) {
        plan.Path = dir + sub + base + (i == 0 ? "" : "(" + std::to_string(i) + ")") + ext;
        if (claimed.count(plan.Path) > 0)
            continue;
        if (HasLiveClaim(plan.Path)) {
            // Another job (of another process too) is writing this name.
            if (policy == TExistingOutputs::Increment)
                continue;
            if (policy == TExistingOutputs::Overwrite) {
                plan.Replace = true;
                return plan;
            }
            plan.Skip = true;
            plan.Reason = "is being written by another process";
            return plan;
        }
        struct stat st {};
        if (lstat(plan.Path.c_str(), &st) != 0)
            return plan;
        if (policy == TExistingOutputs::Increment || !(S_ISREG(st.st_mode) || IsLink(st)))
            continue;
        if (sources.count(IdOf(st)) > 0 || own.count(IdOf(st)) > 0)
            continue;
        if (policy == TExistingOutputs::Skip) {
            plan.Skip = true;
            plan.Reason = "exists";
            return plan;
        }
        struct stat target {};
        if (policy == TExistingOutputs::Newer && sourceKnown &&
            stat(plan.Path.c_str(), &target) == 0 && NotOlder(target, sourceStat)) {
            plan.Skip = true;
            plan.Reason = "is up to date";
            return plan;
        }
        plan.Replace = true;
        return plan;
    }
    return plan;
}
