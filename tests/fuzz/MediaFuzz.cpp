// A libFuzzer target: every input is written to a scratch file, probed as the source list
// probes a file (facts, then one picture when there is video), and converted through the
// encoder component on this thread into the scratch folder. The first byte picks the output
// format, so that every encoder the presets use sees decoded data of mutated media.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "FFDecode.h"
#include "FFEncode.h"
#include "FFLoad.h"
#include "MyUtils.h"
#include "log/FFLog.h"

namespace {

namespace fs = std::filesystem;

struct TTarget {
    const char* Extension;
    const char* AudioCodec;
    int SampleRate;
    int Channels;
};

// One entry per output the presets make; the codec names are the presets' own.
constexpr TTarget Targets[] = {
    {".wav", "pcm_s16le", 44100, 2}, {".flac", "flac", 44100, 2}, {".mp3", "libmp3lame", 44100, 2},
    {".ogg", "libvorbis", 44100, 2}, {".m4a", "aac", 44100, 2},   {".wma", "wmav2", 44100, 2},
    {".mp2", "mp2", 44100, 2},
};
constexpr size_t TargetCount = sizeof Targets / sizeof Targets[0];

// Longest stretch of output a single input may make: mutated headers can claim hours.
constexpr const char* RecordingLimit = "t=2";

std::string ScratchFolder() {
    static const std::string folder = [] {
        const fs::path p =
            fs::temp_directory_path() / ("audioconv-fuzz-" + std::to_string(getpid()));
        fs::create_directories(p);
        return p.string();
    }();
    return folder;
}

TFFEncoder* GEncoder = nullptr;

bool WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

void Probe(const std::string& path) {
    TFFDecoder decoder;
    if (!decoder.LoadFile(path))
        return;
    TFileStreamInfo file;
    decoder.GetFileStreamInfo(file);
    TAudioStreamInfo audio;
    decoder.GetAudioStreamInfo(-1, audio);
    if (decoder.VideoStreamCount() > 0) {
        TVideoStreamInfo video;
        decoder.GetVideoStreamInfo(-1, video);
        if (decoder.Decode()) {
            TBitmap bitmap;
            decoder.GetBitmap(bitmap);
        }
    }
    decoder.CloseFile();
}

void Convert(const std::string& path, const TTarget& target) {
    TFFEncoder& encoder = *GEncoder;
    const std::string output = ScratchFolder() + "/out" + target.Extension;
    TInputOptions input;
    input.FileName = path;
    input.ExtOptions = "vn=1";
    TOutputOptions options;
    options.FileName = output;
    options.AudioCodec = target.AudioCodec;
    options.AudioSampleRate = target.SampleRate;
    options.AudioChannels = target.Channels;
    options.DisableVideo = true;
    options.DisableSubtitle = true;
    options.ExtOptions = RecordingLimit;
    bool terminated = false;
    encoder.OnTerminate.Assign([&](void*, const TTerminateInfo&) { terminated = true; });
    const int index = encoder.AddTask(path, input);
    if (index >= 0 && encoder.SetOutputFile(index, output, options))
        encoder.StartTask(0);
    encoder.OnTerminate.Clear();
    ProcessPendingMessages();
    encoder.ClearTasks();
    std::error_code ec;
    fs::remove(output, ec);
    (void)terminated;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static TFFLogger logger;
    logger.SetLogLevel(llWarning);
    logger.SetOnLog([](void*, uint32_t, TLogLevel, const std::string&) {});
    static TFFEncoder encoder;
    if (!encoder.LoadAVLib(ExecutableFolder() + "lib")) {
        std::fprintf(stderr, "cannot load the media libraries: %s\n", encoder.LastErrMsg().c_str());
        std::_Exit(1);
    }
    GEncoder = &encoder;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const TTarget& target = Targets[data[0] % TargetCount];
    const std::string input = ScratchFolder() + "/input";
    if (!WriteInput(input, data + 1, size - 1))
        return 0;
    Probe(input);
    Convert(input, target);
    std::error_code ec;
    fs::remove(input, ec);
    return 0;
}
