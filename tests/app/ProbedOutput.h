// What the ffprobe program (a test tool) reads from a converted file: the first audio
// stream's codec, rate and channels, the stream kinds, and the container duration.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "MediaFixture.h"

namespace apptest {

struct TProbedOutput {
    bool Read = false; // ffprobe could read the file
    std::string AudioCodec;
    int SampleRate = -1;
    int Channels = -1;
    int64_t BitRate = -1; // bits per second of the audio stream, -1 when not told
    int AudioStreams = 0;
    int VideoStreams = 0;
    double Duration = -1; // seconds
};

inline std::string RunForOutput(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            text.append(buffer, n);
        if (pclose(pipe) != 0)
            return "";
    }
    return text;
}

inline TProbedOutput ProbeOutput(const std::string& path) {
    TProbedOutput facts;
    const std::string text =
        RunForOutput("ffprobe -v error -show_entries "
                     "stream=codec_type,codec_name,sample_rate,channels,bit_rate:format=duration "
                     "-of default=noprint_wrappers=1 " +
                     testmedia::Quote(path) + " 2>/dev/null");
    std::istringstream lines(text);
    std::string line;
    bool inAudio = false;
    std::string codec;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        facts.Read = true;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        // Each stream prints its codec name before its type.
        if (key == "codec_name") {
            codec = value;
        } else if (key == "codec_type") {
            inAudio = value == "audio" && facts.AudioStreams == 0;
            if (value == "audio") {
                if (inAudio)
                    facts.AudioCodec = codec;
                ++facts.AudioStreams;
            } else if (value == "video") {
                ++facts.VideoStreams;
            }
        } else if (key == "sample_rate" && inAudio) {
            facts.SampleRate = std::atoi(value.c_str());
        } else if (key == "channels" && inAudio) {
            facts.Channels = std::atoi(value.c_str());
        } else if (key == "bit_rate" && inAudio && value != "N/A") {
            facts.BitRate = std::atoll(value.c_str());
        } else if (key == "duration" && value != "N/A") {
            facts.Duration = std::atof(value.c_str());
        }
    }
    return facts;
}

} // namespace apptest
