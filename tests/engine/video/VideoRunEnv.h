// What the video run tests share: small video sources made at test time, a run of one source
// into one output with option lines, and the facts of an output read with ffprobe.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run/RunTestEnv.h"

namespace videotest {

using namespace runtest;

// Two seconds of 160x120 pictures at 25 per second with a tone, in Matroska.
inline std::string Source25() {
    return Make("video25.mkv", "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i "
                               "sine=duration=2 -c:v mpeg4 -q:v 4 -g 12 -c:a pcm_s16le -shortest");
}

// The source without its audio.
inline std::string Silent25() {
    return Make("silent25.mkv",
                "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -c:v mpeg4 -q:v 4 -g 12");
}

// Interlaced pictures, top field first, coded as such.
inline std::string Interlaced25() {
    return Make("interlaced.mkv", "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -vf "
                                  "interlace -c:v mpeg4 -flags +ildct+ilme -q:v 4");
}

// Stream facts of v:0, "key=value" lines of -show_entries stream=...
inline std::string VideoFact(const std::string& path, const std::string& entry) {
    return Probe(path, "-select_streams v:0 -show_entries stream=" + entry + " -of csv=p=0");
}

// The times of the key frames of v:0, seconds.
inline std::vector<double> KeyFrameTimes(const std::string& path) {
    std::vector<double> times;
    for (const std::string& line :
         ProbeLines(path, "-select_streams v:0 -show_entries packet=pts_time,flags -of csv=p=0")) {
        const size_t comma = line.find(',');
        if (comma != std::string::npos && line.find('K', comma) != std::string::npos)
            times.push_back(std::stod(line.substr(0, comma)));
    }
    return times;
}

// Two transport streams made by the ffmpeg program from `first` and `second`, joined byte
// for byte into `name`: a stream whose pictures change size (or more) midway.
inline std::string JoinedTransportStream(const std::string& name, const std::string& first,
                                         const std::string& second) {
    const std::string path = Dir() + "/" + name;
    if (fs::exists(path))
        return path;
    const std::string a = Make(name + ".a.ts", first);
    const std::string b = Make(name + ".b.ts", second);
    if (a.empty() || b.empty())
        return "";
    const std::string tmp = path + ".part" + std::to_string(getpid());
    {
        std::ofstream out(tmp, std::ios::binary);
        std::ifstream ia(a, std::ios::binary), ib(b, std::ios::binary);
        out << ia.rdbuf() << ib.rdbuf();
    }
    fs::rename(tmp, path);
    return path;
}

class VideoRun : public EngineRun {
protected:
    // Opens `source` with its video, creates `out` with the codec and option lines.
    static void Prepare(TTestTask& task, const std::string& source, const std::string& out,
                        const std::string& videoCodec, const std::string& lines,
                        bool withAudio = false) {
        OpenInput(task, source, withAudio ? "" : "an=1");
        TOutputOptions o;
        o.VideoCodec = videoCodec;
        o.DisableAudio = !withAudio;
        if (withAudio)
            o.AudioCodec = "libmp3lame";
        o.ExtOptions = lines;
        CreateOutput(task, out, o);
    }
};

} // namespace videotest
