// Conversion benchmark: converts one long 24-bit stereo FLAC source with nine presets of the
// output formats, through the engine as one job of the application runs it (the machine's
// cores to itself), with the ffmpeg program at its default settings and with ffmpeg on one
// thread, interleaved; prints the median wall time and peak memory of each and our ratios.
//
//   audioconv-bench [--minutes M] [--repeat N] [--formats wav0,mp3-3,...] [--cli PROGRAM]
//                   [--keep]
//
// With --cli, "ours" is that audioconv-cli program converting the source as a batch of one
// (the application's whole path: probing, job building, the encoder component).
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

#include "ChildRun.h"
#include "EngineJob.h"
#include "FFLoad.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "log/FFLog.h"

namespace {

namespace fs = std::filesystem;
using namespace bench;

// The first preset of one output format: the engine's options (in the order the encoder
// component applies them: codec, extra option lines, then channels, rate, bit rate and the
// stream switches) and the ffmpeg program's arguments for the same work.
struct TBenchFormat {
    const char* Name;
    const char* Extension;
    const char* Preset;
    const char* CliFormat; // the same job for audioconv-cli: its format and preset index
    const char* CliPreset;
    TOptionList EngineOptions;
    std::vector<std::string> FfmpegArgs;
};

const std::vector<TBenchFormat>& BenchFormats() {
    static const std::vector<TBenchFormat> formats = {
        {"WAV0",
         ".wav",
         "PCM 11025 Hz mono s16",
         "wav",
         "0",
         {{"sample_fmt", "s16"}, {"ac", "1"}, {"ar", "11025"}, {"sn", "1"}},
         {"-ac", "1", "-ar", "11025", "-sample_fmt", "s16", "-sn"}},
        {"MP3-0",
         ".mp3",
         "libmp3lame 44100 Hz stereo 112 kbps",
         "mp3",
         "0",
         {{"acodec", "libmp3lame"}, {"ac", "2"}, {"ar", "44100"}, {"ab", "112000"}, {"sn", "1"}},
         {"-c:a", "libmp3lame", "-ac", "2", "-ar", "44100", "-b:a", "112000", "-sn"}},
        {"MP3-3",
         ".mp3",
         "libmp3lame 48000 Hz stereo 320 kbps",
         "mp3",
         "3",
         {{"acodec", "libmp3lame"}, {"ac", "2"}, {"ar", "48000"}, {"ab", "320000"}, {"sn", "1"}},
         {"-c:a", "libmp3lame", "-ac", "2", "-ar", "48000", "-b:a", "320000", "-sn"}},
        {"WMA0",
         ".wma",
         "wmav2 48000 Hz stereo 192 kbps",
         "wma",
         "0",
         {{"acodec", "wmav2"},
          {"ac", "2"},
          {"ar", "48000"},
          {"ab", "192000"},
          {"vn", "1"},
          {"sn", "1"}},
         {"-c:a", "wmav2", "-ac", "2", "-ar", "48000", "-b:a", "192000", "-vn", "-sn"}},
        {"OGG3",
         ".ogg",
         "libvorbis 44100 Hz stereo aq 4.97",
         "ogg",
         "3",
         {{"acodec", "libvorbis"},
          {"aq", "4.97"},
          {"ac", "2"},
          {"ar", "44100"},
          {"vn", "1"},
          {"sn", "1"}},
         {"-c:a", "libvorbis", "-q:a", "4.97", "-ac", "2", "-ar", "44100", "-vn", "-sn"}},
        {"AAC3",
         ".aac",
         "aac 44100 Hz stereo 256 kbps",
         "aac",
         "3",
         {{"acodec", "aac"}, {"ac", "2"}, {"ar", "44100"}, {"ab", "256000"}, {"sn", "1"}},
         {"-c:a", "aac", "-ac", "2", "-ar", "44100", "-b:a", "256000", "-sn"}},
        {"M4A0",
         ".m4a",
         "default 44100 Hz stereo 96 kbps",
         "m4a",
         "0",
         {{"ac", "2"}, {"ar", "44100"}, {"ab", "96000"}, {"vn", "1"}, {"sn", "1"}},
         {"-ac", "2", "-ar", "44100", "-b:a", "96000", "-vn", "-sn"}},
        {"FLAC0",
         ".flac",
         "flac level 0",
         "flac",
         "0",
         {{"acodec", "flac"}, {"compression_level", "0"}, {"sn", "1"}},
         {"-c:a", "flac", "-compression_level", "0", "-sn"}},
        {"MP2-0",
         ".mp2",
         "default 22050 Hz mono 96 kbps",
         "mp2",
         "0",
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
    return RunEngineJob(source, output, format->EngineOptions, [](TCustomFFmpeg& task) {
        // The input side of every job: video off.
        task.ParseOption("vn", "1");
    });
}

struct TOptions {
    double Minutes = 10;
    int Repeat = 5;
    bool Keep = false;
    std::string Cli; // measure this audioconv-cli program as ours instead of the engine alone
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
        } else if (a == "--cli") {
            const auto v = next();
            if (!v)
                return std::nullopt;
            o.Cli = *v;
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

    // A mix of tones with a little noise on both channels, 24-bit FLAC.
    const std::string source = work + "/source.flac";
    char duration[32];
    std::snprintf(duration, sizeof(duration), "%g", options.Minutes * 60);
    const std::string signal =
        std::string("aevalsrc=0.30*sin(2*PI*440*t)+0.20*sin(2*PI*1250*t)+0.10*sin(2*PI*5100*t)"
                    "+0.02*(random(0)-0.5)|0.30*sin(2*PI*660*t)+0.15*sin(2*PI*2210*t)"
                    "+0.10*sin(2*PI*7300*t)+0.02*(random(1)-0.5):s=44100:d=") +
        duration;
    std::printf("making a %g-minute 44100 Hz stereo 24-bit FLAC source in %s ...\n",
                options.Minutes, work.c_str());
    std::fflush(stdout);
    if (!RunChild(FfmpegCommand({"-f", "lavfi", "-i", signal, "-c:a", "flac", "-sample_fmt", "s32",
                                 "-bits_per_raw_sample", "24", source}),
                  true)
             .Ok) {
        std::fprintf(stderr, "the ffmpeg program could not make the source\n");
        return 2;
    }

    std::printf("%d run(s) of each, interleaved; median wall time and peak memory.\n"
                "ff: the ffmpeg program with its defaults; ff1: with -threads 1; ratios are "
                "ours / theirs\n\n",
                options.Repeat);
    std::printf("%-6s %-36s %7s %7s %6s %7s %6s %8s %7s %7s %7s\n", "case", "preset", "ours s",
                "ff s", "ratio", "ff1 s", "ratio", "our cpu", "our MiB", "ff MiB", "ff1 MiB");
    bool allOk = true;
    for (const TBenchFormat* f : options.Formats) {
        const std::string ours = options.Cli.empty() ? work + "/ours" + f->Extension
                                                     : work + "/cli/source" + f->Extension;
        const std::vector<std::string> ourCommand =
            options.Cli.empty()
                ? std::vector<std::string>{self, "--convert-one", f->Name, source, ours}
                : std::vector<std::string>{options.Cli, "--quiet",     "-j",  "1",
                                           "-f",        f->CliFormat,  "-p",  f->CliPreset,
                                           "-o",        work + "/cli", source};
        const std::string theirs = work + "/ffmpeg" + f->Extension;
        std::vector<std::string> ffmpegArgs = {"-vn", "-i", source};
        ffmpegArgs.insert(ffmpegArgs.end(), f->FfmpegArgs.begin(), f->FfmpegArgs.end());
        ffmpegArgs.push_back(theirs);

        const std::string single = work + "/ffmpeg1" + f->Extension;
        std::vector<std::string> singleArgs = {"-threads", "1",        "-vn", "-i",
                                               source,     "-threads", "1"};
        singleArgs.insert(singleArgs.end(), f->FfmpegArgs.begin(), f->FfmpegArgs.end());
        singleArgs.push_back(single);

        TMeasure our;
        TMeasure peer;
        TMeasure peer1;
        // The three take turns so that all see the same machine load.
        for (int r = 0; r < options.Repeat; ++r) {
            fs::remove(ours);
            fs::remove(theirs);
            fs::remove(single);
            our.Add(RunChild(ourCommand, true));
            peer.Add(RunChild(FfmpegCommand(ffmpegArgs), true));
            peer1.Add(RunChild(FfmpegCommand(singleArgs), true));
        }
        our.Ok = our.Ok && SizeOf(ours) > 0;
        peer.Ok = peer.Ok && SizeOf(theirs) > 0;
        peer1.Ok = peer1.Ok && SizeOf(single) > 0;
        allOk = allOk && our.Ok && peer.Ok && peer1.Ok;

        auto seconds = [](const TMeasure& m, double value) {
            char text[32];
            if (m.Ok)
                std::snprintf(text, sizeof(text), "%.2f", value);
            else
                std::snprintf(text, sizeof(text), "failed");
            return std::string(text);
        };
        auto ratio = [&](const TMeasure& theirs) {
            char text[32] = "-";
            if (our.Ok && theirs.Ok && theirs.WallSeconds() > 0)
                std::snprintf(text, sizeof(text), "%.2f", our.WallSeconds() / theirs.WallSeconds());
            return std::string(text);
        };
        std::printf(
            "%-6s %-36s %7s %7s %6s %7s %6s %8s %7.1f %7.1f %7.1f\n", f->Name, f->Preset,
            seconds(our, our.WallSeconds()).c_str(), seconds(peer, peer.WallSeconds()).c_str(),
            ratio(peer).c_str(), seconds(peer1, peer1.WallSeconds()).c_str(), ratio(peer1).c_str(),
            seconds(our, our.CpuSeconds()).c_str(), our.PeakMiB(), peer.PeakMiB(), peer1.PeakMiB());
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
                     "usage: %s [--minutes M] [--repeat N] [--formats wav0,mp3-3,...] [--cli "
                     "PROGRAM] [--keep]\n",
                     argv[0]);
        return 2;
    }
    return RunBenchmark(*options);
}
