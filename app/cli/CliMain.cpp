// audioconv-cli: the command-line batch converter. It converts files and folders to one
// output format and preset through the encoder component, with the job building of the
// application, several conversions at a time.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>

#include "AppLog.h"
#include "CliBatch.h"
#include "CliOptions.h"
#include "CliProgress.h"
#include "FFEncode.h"
#include "MyUtils.h"
#include "log/FFLog.h"

int main(int argc, char** argv) {
    InstallStopSignals();
    TCliOptions options;
    const int parsed = ParseCliOptions(argc, argv, options, std::cout, std::cerr);
    if (parsed >= 0)
        return parsed;
    if (options.Mode == TCliMode::List)
        return RunList(stdout);

    // Declared in this order so that they go in the reverse one: the encoder first (stopping
    // tasks may still log and call the main thread), then the logger, whose handler prints on
    // the display, then the display and the loop.
    TCliMainLoop loop;
    // A report on standard output has it to itself: the display's lines go to standard error.
    const bool reportOnStdout = options.Lists.Report == "-";
    TCliDisplay display(reportOnStdout ? stderr : stdout, stderr,
                        !reportOnStdout && isatty(STDOUT_FILENO) == 1, options.Quiet);
    TFFLogger logger;
    // Without --log nobody reads the lines: a worker need not wait for the main thread to
    // drop one. With it, lines are printed on the main thread, like everything else.
    logger.TriggerEventInMainThread = options.Log;
    if (!options.LogLevel.empty()) {
        try {
            logger.SetLogLevelByName(options.LogLevel);
        } catch (const std::invalid_argument&) {
            std::cerr << "audioconv-cli: unknown log level \"" << options.LogLevel
                      << "\"\nRun with --help for more information.\n";
            return ExitBadUsage;
        }
    }
    if (options.Log)
        logger.SetOnLog(
            [&display](void*, uint32_t threadID, TLogLevel level, const std::string& message) {
                display.LogLine(FormatLogLine(threadID, level, message));
            });

    try {
        TFFEncoder encoder;
        if (!encoder.AVLibLoaded() && !encoder.LoadAVLib(ExecutableFolder() + "lib")) {
            display.Error("audioconv-cli: cannot load the media libraries: " +
                          encoder.LastErrMsg());
            return ExitSomeFailed;
        }
        const int status =
            options.Mode == TCliMode::Info
                ? RunInfo(encoder, options.Paths, display, options.Json,
                          options.FormatGiven ? options.Format : -1, options.Loudness)
                : RunConvert(encoder, options, display, loop);
        return CliInterrupted != 0 ? StopExitStatus(CliInterrupted) : status;
    } catch (const std::exception& e) {
        display.Error(std::string("audioconv-cli: ") + e.what());
        return ExitSomeFailed;
    }
}
