#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "AppCommandLine.h"

namespace {

struct TCase {
    std::vector<const char*> Arguments; // after the program name
    int Status;                         // -1: the application goes on
    std::string Printed;                // a part of what is printed ("" when nothing is)
};

TEST(AppCommandLine, AnswersHelpAndVersionAndLeavesEverythingElseToTheWindow) {
    const std::string version = std::string("audioconv ") + AUDIOCONV_VERSION + "\n";
    const TCase cases[] = {
        {{}, -1, ""},
        {{"song.mp3", "clip.mkv"}, -1, ""},
        {{"--version"}, 0, version},
        {{"song.mp3", "--version"}, 0, version},
        {{"--help"}, 0, "Usage: audioconv [OPTIONS] [FILE...]"},
        {{"-h", "--version"}, 0, "--version      Print the program's version"},
        {{"-platform", "offscreen", "--help"}, 0, "Usage: audioconv"},
        // After "--" every argument is a file, even one named like an option.
        {{"--", "--help"}, -1, ""},
        {{"--", "-h", "--version"}, -1, ""},
        // Near misses and the toolkit's options are not answered.
        {{"--helpme", "-help", "-version", "--Version", "-style", "fusion"}, -1, ""},
    };
    for (const TCase& c : cases) {
        std::vector<const char*> argv{"audioconv"};
        argv.insert(argv.end(), c.Arguments.begin(), c.Arguments.end());
        std::ostringstream out;
        const std::string shown = ::testing::PrintToString(c.Arguments);
        EXPECT_EQ(AnswerAppCommandLine(static_cast<int>(argv.size()), argv.data(), out), c.Status)
            << shown;
        if (c.Printed.empty()) {
            EXPECT_EQ(out.str(), "") << shown;
        } else {
            EXPECT_NE(out.str().find(c.Printed), std::string::npos) << shown << ": " << out.str();
        }
    }
}

} // namespace
