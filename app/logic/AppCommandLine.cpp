#include "AppCommandLine.h"

#include <ostream>
#include <string_view>

namespace {

enum class TAnswer { None, Help, Version };

struct TAppOption {
    std::string_view Name;
    TAnswer Answer;
};

constexpr TAppOption AppOptions[] = {
    {"-h", TAnswer::Help},
    {"--help", TAnswer::Help},
    {"--version", TAnswer::Version},
};

TAnswer AnswerOf(std::string_view argument) {
    for (const TAppOption& option : AppOptions)
        if (argument == option.Name)
            return option.Answer;
    return TAnswer::None;
}

} // namespace

const char* AppHelpText() {
    return "Usage: audioconv [OPTIONS] [FILE...]\n"
           "Opens the converter's window: collect audio and video files, pick an output format\n"
           "and a preset, and convert them all. The FILEs named are added to the source list.\n"
           "\n"
           "Options:\n"
           "  -h, --help     Print this help message and exit\n"
           "  --version      Print the program's version and exit\n"
           "\n"
           "The window also takes the Qt toolkit's options, such as -platform NAME and\n"
           "-style NAME. Files without a window: audioconv-cli --help.\n";
}

int AnswerAppCommandLine(int argc, const char* const* argv, std::ostream& out) {
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--")
            break;
        switch (AnswerOf(argument)) {
        case TAnswer::Help:
            out << AppHelpText();
            return 0;
        case TAnswer::Version:
            out << "audioconv " << AUDIOCONV_VERSION << "\n";
            return 0;
        case TAnswer::None:
            break;
        }
    }
    return -1;
}
