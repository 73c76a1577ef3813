// Running audioconv-cli in tests: its exit status and what it printed, the names it left in
// a folder, and damaged copies of generated sources.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "AppTestEnv.h"
#include "MediaFixture.h"

namespace clitest {

namespace fs = std::filesystem;

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// Runs the program with `args` (already quoted where needed); stdout is not a terminal.
inline TRun RunCli(const std::string& args, const std::string& scratch) {
    const std::string out = scratch + "stdout.txt";
    const std::string err = scratch + "stderr.txt";
    const std::string command = testmedia::Quote(AUDIOCONV_CLI) + " " + args + " >" +
                                testmedia::Quote(out) + " 2>" + testmedia::Quote(err) +
                                " </dev/null";
    TRun run;
    const int raw = std::system(command.c_str());
    run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.Out = apptest::ReadFile(out);
    run.Err = apptest::ReadFile(err);
    return run;
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The lines of a text, without their line breaks.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The names in a folder, hidden ones included, sorted.
inline std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// `flac` with every byte after its metadata blocks scrambled: a valid header, no frame.
inline std::string WithoutFrames(const std::string& flac) {
    std::string data = flac;
    size_t at = 4; // "fLaC"
    for (bool last = false; !last && at + 4 <= data.size();) {
        const auto byte = [&](size_t i) { return static_cast<unsigned char>(data[i]); };
        last = (byte(at) & 0x80) != 0;
        at += 4 + (static_cast<size_t>(byte(at + 1)) << 16 | byte(at + 2) << 8 | byte(at + 3));
    }
    uint32_t noise = 12345;
    for (size_t i = at; i < data.size(); ++i) {
        noise = noise * 1103515245 + 12345;
        data[i] = static_cast<char>(noise >> 16);
    }
    return data;
}

// `mp3` with every frame's body overwritten after its four header bytes.
inline std::string WithDamagedFrames(const std::string& mp3) {
    std::string data = mp3;
    for (size_t i = 0; i + 4 < data.size();) {
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(data[k]); };
        if (byte(i) == 0xff && (byte(i + 1) & 0xe0) == 0xe0) {
            for (size_t k = i + 4; k < std::min(data.size(), i + 100); ++k)
                data[k] = '\xaa';
            i += 100;
        } else {
            ++i;
        }
    }
    return data;
}

// The files below a folder (hidden ones included) by their paths relative to it, sorted.
inline std::vector<std::string> Tree(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (!entry.is_directory())
            names.push_back(fs::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace clitest
