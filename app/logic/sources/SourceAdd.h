// The add routine of the source list without its widgets: probing one file for its row, the
// bookkeeping of failures, the texts and rules the window shows and applies while it adds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "FileFacts.h"
#include "log/FFLog.h"
#include "utils/Bitmap.h"

class TFFDecoder;
struct TGlobalVars;

// What probing one file gave: its facts and, for video, the middle picture.
struct TProbedSource {
    std::string Path;
    bool Loaded = false;
    std::string Error; // the prober's error text when the file could not be opened
    bool HasVideo = false;
    bool PictureDecoded = false; // false for video whose middle picture could not be decoded
    TBitmap Picture;             // the decoded picture, full size
    TSourceFacts Facts;
    // What the prober and the libraries logged about the file, kept back until the file
    // takes its place in the list (NoteProbedSource).
    std::vector<TLogInfo> LogLines;
};

// Opens `path` with `prober`, decodes the picture at half the duration of the first video
// stream, reads the facts and closes the file again, on any thread. Raises the prober's
// error (std::runtime_error "LibAVCodec not loaded." and the like) when the libraries are
// missing; the lines logged until then are delivered as usual.
TProbedSource ProbeSource(TFFDecoder& prober, const std::string& path);

// The start of an add operation with at least one path: the failures of the last one go.
void BeginSourceAdd(TGlobalVars& vars);
// On the main thread, for every probed file in the order of the list: the lines its probing
// logged, then, for a file that could not be opened, "File load error: " + the error text,
// which also joins `FailedFiles`. Whichever thread probed it and whenever, the log reads as
// if the files had been probed one after the other at this moment. The kept lines are
// handed over (`source.LogLines` is empty afterwards).
void NoteProbedSource(TGlobalVars& vars, TProbedSource& source);

// Batches of more than this many files are probed off the main thread.
inline constexpr size_t ForegroundProbeLimit = 3;
// "Adding 120 of 800..."
std::string AddingProgressText(size_t current, size_t total);

// The dropped names that are added: existing folders are skipped, a file is kept when its
// extension is one of the accepted ones.
std::vector<std::string> AcceptedDroppedFiles(const std::vector<std::string>& names);

// The files named on the command line (the arguments after the program's own name, the first
// "--" left out), made absolute against `currentFolder`, in the order given.
std::vector<std::string> CommandLineSourceFiles(const std::vector<std::string>& arguments,
                                                const std::string& currentFolder);

// The folder of `path` with its trailing separator ("" for a bare name).
std::string FolderOfFile(const std::string& path);

// One filter entry of the add-files dialog.
struct TDialogFilter {
    std::string Name;
    std::vector<std::string> Patterns; // as written: "*.MP3"
};
// The dialog's four entries, parsed from its filter text ("Name|*.A;*.B;|Name|...").
const std::vector<TDialogFilter>& OpenDialogFilters();
// A pattern that matches the same names in any letter case: "*.MP3" -> "*.[mM][pP]3".
std::string AnyCasePattern(const std::string& pattern);
