// Conversion benchmark: converts one long source with the first preset of every output format,
// once through the engine and once with the ffmpeg program doing the same work, and prints
// the wall time, CPU time and peak memory of both per format.
//
//   audioconv-bench [--minutes M] [--repeat N] [--formats wav,mp3,...] [--keep]
//
// Every conversion runs in a child process of its own so that its peak memory can be read
// from wait4: the engine's conversions re-run this program with --convert-one.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FFLoad.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "log/FFLog.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

using TOptionList = std::vector<std::pair<std::string, std::string>>;

// The first preset of one output format: the engine's options (in the order the encoder
// component applies them: codec, extra option lines, then channels, rate, bit rate and the
// stream switches) and the ffmpeg program's arguments for the same work.
struct TBenchFormat {
    const char* Name;
    const char* Extension;
    const char* Preset;
    TOptionList EngineOptions;
    std::vector<std::string> FfmpegArgs;
};

const std::vector<TBenchFormat>& BenchFormats() {
    static const std::vector<TBenchFormat> formats = {
        {"WAV",
         ".wav",
         "PCM 11025 Hz mono s16",
         {{"sample_fmt", "s16"}, {"ac", "1"}, {"ar", "11025"}, {"sn", "1"}},
         {"-ac", "1", "-ar", "11025", "-sample_fmt", "s16", "-sn"}},
        {"MP3",
         ".mp3",
         "libmp3lame 44100 Hz stereo 112 kbps",
         {{"acodec", "libmp3lame"}, {"ac", "2"}, {"ar", "44100"}, {"ab", "112000"}, {"sn", "1"}},
         {"-c:a", "libmp3lame", "-ac", "2", "-ar", "44100", "-b:a", "112000", "-sn"}},
        {"WMA",
         ".wma",
         "wmav2 48000 Hz stereo 192 kbps",
         {{"acodec", "wmav2"},
          {"ac", "2"},
          {"ar", "48000"},
          {"ab", "192000"},
          {"vn", "1"},
          {"sn", "1"}},
         {"-c:a", "wmav2", "-ac", "2", "-ar", "48000", "-b:a", "192000", "-vn", "-sn"}},
        {"OGG",
         ".ogg",
         "libvorbis 11025 Hz aq 4.97",
         {{"acodec", "libvorbis"}, {"aq", "4.97"}, {"ar", "11025"}, {"vn", "1"}, {"sn", "1"}},
         {"-c:a", "libvorbis", "-q:a", "4.97", "-ar", "11025", "-vn", "-sn"}},
        {"AAC",
         ".aac",
         "aac 16000 Hz mono 96 kbps",
         {{"acodec", "aac"}, {"ac", "1"}, {"ar", "16000"}, {"ab", "96000"}, {"sn", "1"}},
         {"-c:a", "aac", "-ac", "1", "-ar", "16000", "-b:a", "96000", "-sn"}},
        {"M4A",
         ".m4a",
         "default 44100 Hz stereo 96 kbps",
         {{"ac", "2"}, {"ar", "44100"}, {"ab", "96000"}, {"vn", "1"}, {"sn", "1"}},
         {"-ac", "2", "-ar", "44100", "-b:a", "96000", "-vn", "-sn"}},
        {"FLAC",
         ".flac",
         "flac level 0",
         {{"acodec", "flac"}, {"compression_level", "0"}, {"sn", "1"}},
         {"-c:a", "flac", "-compression_level", "0", "-sn"}},
        {"MP2",
         ".mp2",
         "default 22050 Hz mono 96 kbps",
         {{"ac", "1"}, {"ar", "22050"}, {"ab", "96000"}, {"sn", "1"}},
         {"-ac", "1", "-ar", "22050", "-b:a", "96000", "-sn"}},
    };
    return formats;
}

const TBenchFormat* FindFormat(const std::string& name) {
    for (const TBenchFormat& f : BenchFormats())
        if (strcasecmp(f.Name, name.c_str()) == 0)
            return &f;
    return nullptr;
}

// ---- one engine conversion (child mode)

int ConvertOne(const std::string& formatName, const std::string& source,
               const std::string& output) {
    const TBenchFormat* format = FindFormat(formatName);
    if (format == nullptr) {
        std::fprintf(stderr, "unknown format %s\n", formatName.c_str());
        return 2;
    }
    FFLoader->SetLibraryPath(ExecutableFolder() + "lib");
    if (!FFLoader->Load(EncoderLibraries)) {
        std::fprintf(stderr, "%s\n", FFLoader->LastErrMsg().c_str());
        return 2;
    }
    // Errors of the libraries and the engine go to the standard error output.
    FFLogger()->TriggerEventInMainThread = false;
    FFLogger()->SetOnLog([](void*, uint32_t, TLogLevel level, const std::string& msg) {
        if (level <= llError)
            std::fprintf(stderr, "%s\n", msg.c_str());
    });
    try {
        TCustomFFmpeg task(1);
        // The input side of every job: video off.
        task.ParseOption("vn", "1");
        if (!task.OpenInputFile(source)) {
            std::fprintf(stderr, "input: %s\n", task.LastError.c_str());
            return 1;
        }
        for (const auto& [name, value] : format->EngineOptions)
            task.ParseOption(name, value);
        if (task.CreateOutputFile(output, false) < 0) {
            std::fprintf(stderr, "output: %s\n", task.LastError.c_str());
            return 1;
        }
        task.Start(false);
        if (task.ErrorOccurred || !task.Finished) {
            std::fprintf(stderr, "run: %s\n", task.ErrorMessage.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

// ---- child processes

struct TChildResult {
    bool Ok = false;
    double WallSeconds = 0;
    double CpuSeconds = 0;
    long PeakKiB = 0;
};

TChildResult RunChild(const std::vector<std::string>& args, bool quiet) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

    TChildResult result;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(spawned));
        return result;
    }
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid)
        return result;
    const auto end = std::chrono::steady_clock::now();
    result.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result.WallSeconds = std::chrono::duration<double>(end - start).count();
    result.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result.PeakKiB = usage.ru_maxrss;
    return result;
}

std::vector<std::string> FfmpegCommand(const std::vector<std::string>& middle) {
    std::vector<std::string> cmd = {"ffmpeg",   "-nostdin", "-hide_banner", "-loglevel", "error",
                                    "-nostats", "-y"};
    cmd.insert(cmd.end(), middle.begin(), middle.end());
    return cmd;
}

// The least wall time, CPU time and peak memory over the repeats (each a minimum of its own:
// on a shared machine the least value is the one least disturbed by other work).
struct TMeasure {
    bool Ok = true;
    int Runs = 0;
    double WallSeconds = 0;
    double CpuSeconds = 0;
    long PeakKiB = 0;
    uintmax_t OutputBytes = 0;
    void Add(const TChildResult& r) {
        Ok = Ok && r.Ok;
        if (!r.Ok)
            return;
        const bool first = Runs++ == 0;
        WallSeconds = first ? r.WallSeconds : std::min(WallSeconds, r.WallSeconds);
        CpuSeconds = first ? r.CpuSeconds : std::min(CpuSeconds, r.CpuSeconds);
        PeakKiB = first ? r.PeakKiB : std::min(PeakKiB, r.PeakKiB);
    }
};

struct TOptions {
    double Minutes = 10;
    int Repeat = 3;
    bool Keep = false;
    std::vector<const TBenchFormat*> Formats;
};

std::optional<TOptions> ParseArgs(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc)
                return std::nullopt;
            return std::string(argv[++i]);
        };
        if (a == "--minutes") {
            const auto v = next();
            if (!v || (o.Minutes = std::atof(v->c_str())) <= 0)
                return std::nullopt;
        } else if (a == "--repeat") {
            const auto v = next();
            if (!v || (o.Repeat = std::atoi(v->c_str())) < 1)
                return std::nullopt;
        } else if (a == "--formats") {
            const auto v = next();
            if (!v)
                return std::nullopt;
            size_t pos = 0;
            while (pos <= v->size()) {
                const size_t comma = std::min(v->find(',', pos), v->size());
                const TBenchFormat* f = FindFormat(v->substr(pos, comma - pos));
                if (f == nullptr)
                    return std::nullopt;
                o.Formats.push_back(f);
                pos = comma + 1;
            }
        } else if (a == "--keep") {
            o.Keep = true;
        } else {
            return std::nullopt;
        }
    }
    if (o.Formats.empty())
        for (const TBenchFormat& f : BenchFormats())
            o.Formats.push_back(&f);
    return o;
}

std::string SelfPath() {
    std::error_code ec;
    const fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

uintmax_t SizeOf(const std::string& path) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

int RunBenchmark(const TOptions& options) {
    const std::string self = SelfPath();
    if (self.empty()) {
        std::fprintf(stderr, "cannot find this program's path\n");
        return 2;
    }
    char pattern[] = "/tmp/audioconv-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::fprintf(stderr, "cannot create a work folder\n");
        return 2;
    }
    const std::string work = pattern;

    // A mix of tones with a little noise on both channels, 16-bit PCM.
    const std::string source = work + "/source.wav";
    char duration[32];
    std::snprintf(duration, sizeof(duration), "%g", options.Minutes * 60);
    const std::string signal =
        std::string("aevalsrc=0.30*sin(2*PI*440*t)+0.20*sin(2*PI*1250*t)+0.10*sin(2*PI*5100*t)"
                    "+0.02*(random(0)-0.5)|0.30*sin(2*PI*660*t)+0.15*sin(2*PI*2210*t)"
                    "+0.10*sin(2*PI*7300*t)+0.02*(random(1)-0.5):s=44100:d=") +
        duration;
    std::printf("making a %g-minute 44100 Hz stereo source in %s ...\n", options.Minutes,
                work.c_str());
    std::fflush(stdout);
    if (!RunChild(FfmpegCommand({"-f", "lavfi", "-i", signal, "-c:a", "pcm_s16le", source}), true)
             .Ok) {
        std::fprintf(stderr, "the ffmpeg program could not make the source\n");
        return 2;
    }

    std::printf("%d run(s) each; least wall time, CPU time (user + system) and peak memory\n\n",
                options.Repeat);
    std::printf("%-5s %-36s %7s %7s %6s %7s %7s %6s %7s %7s %9s %9s\n", "fmt", "preset", "ours s",
                "ff s", "ratio", "our cpu", "ff cpu", "ratio", "our MiB", "ff MiB", "ours kB",
                "ff kB");
    bool allOk = true;
    for (const TBenchFormat* f : options.Formats) {
        const std::string ours = work + "/ours" + f->Extension;
        const std::string theirs = work + "/ffmpeg" + f->Extension;
        std::vector<std::string> ffmpegArgs = {"-vn", "-i", source};
        ffmpegArgs.insert(ffmpegArgs.end(), f->FfmpegArgs.begin(), f->FfmpegArgs.end());
        ffmpegArgs.push_back(theirs);

        TMeasure our;
        TMeasure peer;
        // Alternate the two so that both see the same machine load.
        for (int r = 0; r < options.Repeat; ++r) {
            fs::remove(ours);
            fs::remove(theirs);
            our.Add(RunChild({self, "--convert-one", f->Name, source, ours}, true));
            peer.Add(RunChild(FfmpegCommand(ffmpegArgs), true));
        }
        our.OutputBytes = SizeOf(ours);
        peer.OutputBytes = SizeOf(theirs);
        our.Ok = our.Ok && our.OutputBytes > 0;
        peer.Ok = peer.Ok && peer.OutputBytes > 0;
        allOk = allOk && our.Ok && peer.Ok;

        auto seconds = [](const TMeasure& m, double value) {
            char text[32];
            if (m.Ok)
                std::snprintf(text, sizeof(text), "%.2f", value);
            else
                std::snprintf(text, sizeof(text), "failed");
            return std::string(text);
        };
        auto ratio = [&](double a, double b) {
            char text[32] = "-";
            if (our.Ok && peer.Ok && b > 0)
                std::snprintf(text, sizeof(text), "%.2f", a / b);
            return std::string(text);
        };
        std::printf("%-5s %-36s %7s %7s %6s %7s %7s %6s %7.1f %7.1f %9ju %9ju\n", f->Name,
                    f->Preset, seconds(our, our.WallSeconds).c_str(),
                    seconds(peer, peer.WallSeconds).c_str(),
                    ratio(our.WallSeconds, peer.WallSeconds).c_str(),
                    seconds(our, our.CpuSeconds).c_str(), seconds(peer, peer.CpuSeconds).c_str(),
                    ratio(our.CpuSeconds, peer.CpuSeconds).c_str(), our.PeakKiB / 1024.0,
                    peer.PeakKiB / 1024.0, our.OutputBytes / 1024, peer.OutputBytes / 1024);
        std::fflush(stdout);
    }

    if (options.Keep) {
        std::printf("\nfiles kept in %s\n", work.c_str());
    } else {
        std::error_code ec;
        fs::remove_all(work, ec);
    }
    return allOk ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--convert-one") == 0)
        return ConvertOne(argv[2], argv[3], argv[4]);
    const std::optional<TOptions> options = ParseArgs(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: %s [--minutes M] [--repeat N] [--formats wav,mp3,...] [--keep]\n",
                     argv[0]);
        return 2;
    }
    return RunBenchmark(*options);
}
