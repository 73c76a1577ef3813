// What the run tests share: probing outputs with ffprobe, fixture sources, and a fixture
// that opens inputs and creates outputs as the application does.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestEnv.h"
#include "MediaFixture.h"
#include "MyUtils.h"
#include "input/Input.h"
#include "output/Output.h"

namespace runtest {

namespace fs = std::filesystem;

inline std::string Dir() {
    return testmedia::TempDir("engine-run");
}

// What `ffprobe <args> <path>` prints, without the trailing line break.
inline std::string Probe(const std::string& path, const std::string& args) {
    const std::string cmd =
        "ffprobe -v error " + args + " " + testmedia::Quote(path) + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    std::string out;
    if (!pipe)
        return out;
    char buf[512];
    while (fgets(buf, sizeof buf, pipe.get()) != nullptr)
        out += buf;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// The non-empty lines ffprobe prints (side data adds empty ones).
inline std::vector<std::string> ProbeLines(const std::string& path, const std::string& args) {
    const std::string out = Probe(path, args);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        if (end > start)
            lines.push_back(out.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Packets of a stream ("a:0", "v:0", ...).
inline int Packets(const std::string& path, const std::string& stream = "a:0") {
    return static_cast<int>(ProbeLines(path, "-select_streams " + stream +
                                                 " -show_entries packet=stream_index -of csv=p=0")
                                .size());
}

// The end of a stream's last packet (pts + duration), seconds.
inline double StreamEnd(const std::string& path, const std::string& stream = "a:0") {
    const std::string out = Probe(path, "-select_streams " + stream +
                                            " -show_entries packet=pts_time,duration_time "
                                            "-of csv=p=0");
    const size_t last = out.rfind('\n');
    const std::string line = out.substr(last == std::string::npos ? 0 : last + 1);
    const size_t comma = line.find(',');
    if (comma == std::string::npos)
        return -1;
    return std::stod(line.substr(0, comma)) + std::stod(line.substr(comma + 1));
}

// Sum of a stream's packet durations, seconds.
inline double PacketSeconds(const std::string& path, const std::string& stream = "a:0") {
    double total = 0;
    for (const std::string& line : ProbeLines(path, "-select_streams " + stream +
                                                        " -show_entries packet=duration_time "
                                                        "-of csv=p=0"))
        if (line != "N/A")
            total += std::stod(line);
    return total;
}

// A WAV file whose trailer was written: the muxer fills the RIFF size (file size - 8) only
// there; after the header alone it holds 0xFFFFFFFF.
inline bool WavComplete(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    unsigned char h[8] = {};
    if (!f.read(reinterpret_cast<char*>(h), sizeof h))
        return false;
    const uint32_t riff = h[4] | (h[5] << 8) | (h[6] << 16) | (static_cast<uint32_t>(h[7]) << 24);
    return std::memcmp(h, "RIFF", 4) == 0 && riff + 8 == fs::file_size(path);
}

inline std::string Make(const std::string& name, const std::string& args) {
    return testmedia::Make(Dir() + "/" + name, args);
}

inline std::string WavSource(int seconds) {
    const std::string s = std::to_string(seconds);
    return Make("src" + s + "s.wav", "-f lavfi -i sine=frequency=1000:duration=" + s +
                                         " -ac 2 -ar 44100 -c:a pcm_s16le");
}

inline std::string Mp3Source() {
    return Make("src.mp3", "-f lavfi -i sine=frequency=1000:duration=3 -ac 2 -ar 44100 "
                           "-c:a libmp3lame -b:a 128k");
}

inline std::string FlacSource() {
    return Make("src.flac", "-f lavfi -i sine=frequency=1000:duration=3 -ac 2 -ar 44100 -c:a flac");
}

// Two seconds of a small picture with a tone.
inline std::string VideoSource() {
    return Make("video.mkv", "-f lavfi -i testsrc=size=64x48:rate=10:duration=2 -f lavfi -i "
                             "sine=duration=2 -c:v mpeg4 -g 5 -c:a pcm_s16le -shortest");
}

class EngineRun : public TEngineTest {
protected:
    static std::string OutPath(const std::string& name) {
        const std::string path = Dir() + "/" + name;
        fs::remove(path);
        return path;
    }

    // Opens `input` as the application does: video disabled on the input side.
    static void OpenInput(TTestTask& task, const std::string& input,
                          const std::string& lines = "vn=1") {
        TInputOptions in;
        in.FileName = input;
        in.ExtOptions = lines;
        task.ApplyInputOptions(in);
        ASSERT_TRUE(task.OpenInputFile(input)) << task.LastError;
    }

    static void CreateOutput(TTestTask& task, const std::string& out, const TOutputOptions& o) {
        ASSERT_GT(task.ApplyOutputOptions(out, o), 0) << task.LastError;
    }

    // Runs the task on the caller's thread: the run's error, or "" without one.
    static std::string RunTask(TTestTask& task) {
        task.Start(false);
        return task.ErrorOccurred ? task.ErrorMessage : std::string();
    }

    static TOutputOptions Copy() {
        TOutputOptions o;
        o.AudioCodec = "copy";
        o.DisableVideo = true;
        return o;
    }
};

} // namespace runtest
