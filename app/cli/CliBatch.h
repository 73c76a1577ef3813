// The work of audioconv-cli: listing the formats, showing file facts, and converting a batch
// of files through the encoder component with the job building the GUI uses.
#pragma once

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "CliProgress.h"
#include "CliSearch.h"
#include "MyUtils.h"

class TFFEncoder;

// The main thread's queue of calls from worker threads. Installed as the process's
// dispatcher, it wakes the waiting main thread as soon as a call arrives.
class TCliMainLoop final : public TMainThreadDispatcher {
public:
    TCliMainLoop();
    ~TCliMainLoop() override;

    void Post(std::function<void()> call) override;
    void Pump() override;
    // Waits until a call is queued or `timeout` has passed.
    void Wait(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> calls_;
};

// Prints the formats and their presets with their indices.
int RunList(std::FILE* out);

// Prints the facts of each file and of the files found in each folder (with `json` one JSON
// object per line, an error object for a path that gave nothing or a file that cannot be
// read), with `loudness` each file's loudness measured; ExitSomeFailed when a path gave
// nothing or a file could not be read (or measured). With a format index `dropFormat` (not
// -1) the JSON objects name the tags that format cannot hold.
int RunInfo(TFFEncoder& encoder, const std::vector<std::string>& paths, TCliDisplay& display,
            bool json = false, int dropFormat = -1, bool loudness = false);

// The first stop signal received (SIGINT, SIGTERM or SIGHUP), 0 before any: the batch is
// built no further, the running conversions are stopped and the batch ends.
extern volatile std::sig_atomic_t CliInterrupted;

// Handles SIGINT, SIGTERM and SIGHUP for the rest of the program by setting CliInterrupted.
// A later signal changes nothing (the handler stays in place, so it cannot end the program
// in the middle of its clean-up).
void InstallStopSignals();

// The exit status after the stop signal `signal`: 130 for SIGINT, 143 for SIGTERM and SIGHUP.
int StopExitStatus(int signal);

// `message` about `path` with the path said once: "PATH: " parts are dropped, and a path
// still named is "the file" (the line that shows the message names the path first).
std::string WithoutPath(const std::string& message, const std::string& path);

// Converts the batch. The encoder has its libraries loaded; `loop` is the installed
// dispatcher. Files found in a folder go into the same subfolders below the output folder
// (unless flat); an existing output is numbered past, kept or replaced as the options say.
// Once `*stopRequest` is set no further source is queued, the running conversions are stopped
// and the ones not started yet are cancelled (each reported as "Cancelled", and counted so in
// the summary). Every job writes under a temporary name, renamed into place only when it
// succeeded. ExitAllSucceeded when every file was converted or skipped, ExitBadUsage when the
// direct settings do not suit the format's encoder, else ExitSomeFailed.
int RunConvert(TFFEncoder& encoder, const TCliOptions& options, TCliDisplay& display,
               TCliMainLoop& loop, const volatile std::sig_atomic_t* stopRequest = &CliInterrupted);
