// A batch stopped while it runs: the conversions that did not finish are reported as
// cancelled, the batch fails, and no partial output stays behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "AppTestEnv.h"
#include "CliBatch.h"
#include "FFEncode.h"
#include "MediaFixture.h"

namespace {

namespace fs = std::filesystem;

int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(CliBatch, StopCancelsTheRestAndRemovesUnfinishedOutputs) {
    testmedia::LoadLibraries();
    std::vector<std::string> sources;
    for (const char* name : {"long1.wav", "long2.wav", "long3.wav"}) {
        sources.push_back(testmedia::Make(testmedia::TempDir("app/cli-batch") + "/" + name,
                                          "-f lavfi -i sine=frequency=440:duration=30 -ac 2"));
        ASSERT_FALSE(sources.back().empty());
    }
    const std::string out = apptest::FreshDir("out");

    TCliOptions options;
    options.Format = 1;
    options.Preset = 0;
    options.OutputDir = out;
    options.Jobs = 1;
    options.Paths = sources;

    char* outText = nullptr;
    char* errText = nullptr;
    size_t outSize = 0, errSize = 0;
    std::FILE* outStream = open_memstream(&outText, &outSize);
    std::FILE* errStream = open_memstream(&errText, &errSize);
    int status = -1;
    {
        TCliMainLoop loop;
        TFFEncoder encoder;
        TCliDisplay display(outStream, errStream, false, false);
        // Asked to stop before the first conversion can have ended.
        const volatile std::sig_atomic_t stop = 1;
        status = RunConvert(encoder, options, display, loop, &stop);
    }
    std::fclose(outStream);
    std::fclose(errStream);
    const std::string printed(outText, outSize);
    const std::string errors(errText, errSize);
    std::free(outText);
    std::free(errText);

    EXPECT_EQ(status, ExitSomeFailed);
    // The second and third never started; the first was stopped while it ran (or, on a
    // machine fast enough, had just finished).
    EXPECT_NE(errors.find("Cancelled: " + sources[1] + "\n"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Cancelled: " + sources[2] + "\n"), std::string::npos) << errors;
    const int converted = Occurrences(printed, "Converted: ");
    EXPECT_LE(converted, 1);
    // Cancelled files are counted as such, not as failed.
    EXPECT_NE(printed.find("Total files: 3  Succeeded: " + std::to_string(converted) +
                           "  Failed: 0  Cancelled: " + std::to_string(3 - converted)),
              std::string::npos)
        << printed;
    for (const auto& entry : fs::directory_iterator(out))
        EXPECT_NE(printed.find("-> " + entry.path().string() + "\n"), std::string::npos)
            << entry.path() << " was left behind by a conversion that did not finish";
}

} // namespace
