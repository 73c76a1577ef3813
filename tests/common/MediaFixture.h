// Test media made at test time with the ffmpeg command-line program (a test tool only),
// and the library folder loaded for tests that call FFmpeg.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "FFLoad.h"

namespace testmedia {

// A folder for one test suite's files, created on first use.
inline std::string TempDir(const std::string& sub) {
    const std::filesystem::path p = std::filesystem::path(AUDIOCONV_TEST_TMP_DIR) / sub;
    std::filesystem::create_directories(p);
    return p.string();
}

inline std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs `ffmpeg <args> <path>` unless `path` exists already; returns the path or "" on
// failure. Example: Make(dir + "/sine.wav", "-f lavfi -i sine=frequency=1000:duration=2").
inline std::string Make(const std::string& path, const std::string& args) {
    if (std::filesystem::exists(path))
        return path;
    // Parallel test processes may make the same file: each writes its own and renames it.
    const std::filesystem::path target(path);
    const std::string tmp = (target.parent_path() / (".part" + std::to_string(getpid()) + "-" +
                                                     target.filename().string()))
                                .string();
    const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y " + args + " " +
                            Quote(tmp) + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0)
        return "";
    std::filesystem::rename(tmp, path);
    return path;
}

// Loads the libraries from the build's library folder; call in SetUp.
inline void LoadLibraries() {
    FFLoader->SetLibraryPath(AUDIOCONV_LIB_DIR);
    ASSERT_TRUE(FFLoader->Load(EncoderLibraries)) << FFLoader->LastErrMsg();
}

} // namespace testmedia
