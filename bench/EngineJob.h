// The child's side of the engine benchmarks: one conversion through the engine alone, on the
// calling thread, as the encoder component starts a job that runs alone.
#pragma once

#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "FFLoad.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "log/FFLog.h"

namespace bench {

using TOptionList = std::vector<std::pair<std::string, std::string>>;

// Loads the libraries beside the program, sends the libraries' and the engine's errors to the
// standard error output, and converts `source` into `output` with `options` (after `prepare`
// has set what the input side needs). 0 on success, 1 for a failed conversion, 2 when the
// libraries do not load.
inline int RunEngineJob(const std::string& source, const std::string& output,
                        const TOptionList& options,
                        const std::function<void(TCustomFFmpeg&)>& prepare) {
    FFLoader->SetLibraryPath(ExecutableFolder() + "lib");
    if (!FFLoader->Load(EncoderLibraries)) {
        std::fprintf(stderr, "%s\n", FFLoader->LastErrMsg().c_str());
        return 2;
    }
    FFLogger()->TriggerEventInMainThread = false;
    FFLogger()->SetOnLog([](void*, uint32_t, TLogLevel level, const std::string& msg) {
        if (level <= llError)
            std::fprintf(stderr, "%s\n", msg.c_str());
    });
    try {
        TCustomFFmpeg task(1);
        task.ThreadsAvailable = ThreadsPerJob(1);
        prepare(task);
        if (!task.OpenInputFile(source)) {
            std::fprintf(stderr, "input: %s\n", task.LastError.c_str());
            return 1;
        }
        for (const auto& [name, value] : options)
            task.ParseOption(name, value);
        if (task.CreateOutputFile(output, false) < 0) {
            std::fprintf(stderr, "output: %s\n", task.LastError.c_str());
            return 1;
        }
        task.Start(false);
        if (task.ErrorOccurred || !task.Finished) {
            std::fprintf(stderr, "run: %s\n", task.ErrorMessage.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace bench
