#include "SourceAdd.h"

#include <cctype>
#include <filesystem>
#include <utility>

#include "FFDecode.h"
#include "SourceExtensions.h"
#include "SourceProbe.h"
#include "log/FFLog.h"
#include "settings/globals.h"

namespace {

namespace fs = std::filesystem;

// The add-files dialog's filter: pairs of a name and its patterns, separated by "|".
constexpr const char* OpenDialogFilterText =
    "All Supported Formats|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;"
    "*.MPEG;*.DAT;*.OGM;*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.SWF;*.MP3;*.AAC;*.WAV;*.WMA;"
    "*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;"
    "*.DTS;|All Video Formats (all types)|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;"
    "*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.SWF;|All Audio "
    "Formats (all types)|*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;"
    "*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;|All Files|*.*";

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

std::vector<TDialogFilter> ParseFilters(const std::string& text) {
    std::vector<TDialogFilter> filters;
    const std::vector<std::string> parts = Split(text, '|');
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        TDialogFilter filter{parts[i], {}};
        for (std::string& pattern : Split(parts[i + 1], ';'))
            if (!pattern.empty())
                filter.Patterns.push_back(std::move(pattern));
        filters.push_back(std::move(filter));
    }
    return filters;
}

// The picture at half the duration of the first video stream; false when none decodes.
bool DecodeMiddlePicture(TFFDecoder& prober, TBitmap& picture) {
    TFileStreamInfo file;
    prober.GetFileStreamInfo(file);
    const int64_t middle = file.Duration < 0 ? 0 : file.Duration / 2;
    prober.Seek(0, middle);
    return prober.Decode(prober.FirstVideoStreamIndex()) && prober.GetBitmap(picture);
}

} // namespace

TProbedSource ProbeSource(TFFDecoder& prober, const std::string& path) {
    TProbedSource source;
    source.Path = path;
    TLogHold capture;
    if (prober.LoadFile(path)) {
        source.Loaded = true;
        source.HasVideo = prober.FirstVideoStreamIndex() >= 0;
        if (source.HasVideo)
            source.PictureDecoded = DecodeMiddlePicture(prober, source.Picture);
        source.Facts = ReadSourceFacts(prober);
        prober.CloseFile();
    } else {
        source.Error = prober.LastErrMsg();
    }
    source.LogLines = capture.Take();
    return source;
}

void BeginSourceAdd(TGlobalVars& vars) {
    vars.FailedFiles.clear();
}

void NoteProbedSource(TGlobalVars& vars, TProbedSource& source) {
    DeliverLogLines(std::exchange(source.LogLines, {}));
    if (source.Loaded)
        return;
    vars.LogLines.push_back("File load error: " + source.Error);
    vars.FailedFiles.push_back(source.Error);
}

std::string AddingProgressText(size_t current, size_t total) {
    return "Adding " + std::to_string(current) + " of " + std::to_string(total) + "...";
}

std::vector<std::string> AcceptedDroppedFiles(const std::vector<std::string>& names) {
    std::vector<std::string> accepted;
    for (const std::string& name : names)
        if (IsAcceptedDroppedFile(name))
            accepted.push_back(name);
    return accepted;
}

std::vector<std::string> CommandLineSourceFiles(const std::vector<std::string>& arguments,
                                                const std::string& currentFolder) {
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        // The first "--" only ends the options: a file after it may begin with "-".
        if (!optionsEnded && arguments[i] == "--") {
            optionsEnded = true;
            continue;
        }
        if (arguments[i].empty())
            continue;
        const fs::path path(arguments[i]);
        files.push_back((path.is_absolute() ? path : fs::path(currentFolder) / path)
                            .lexically_normal()
                            .string());
    }
    return files;
}

std::string FolderOfFile(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

const std::vector<TDialogFilter>& OpenDialogFilters() {
    static const std::vector<TDialogFilter> filters = ParseFilters(OpenDialogFilterText);
    return filters;
}

std::string AnyCasePattern(const std::string& pattern) {
    std::string result;
    for (const char c : pattern) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalpha(u)) {
            result += '[';
            result += static_cast<char>(std::tolower(u));
            result += static_cast<char>(std::toupper(u));
            result += ']';
        } else {
            result += c;
        }
    }
    return result;
}
