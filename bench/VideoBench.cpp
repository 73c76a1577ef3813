// Video conversion benchmark: a 640x480 25 fps clip with a tone, re-encoded with its audio to
// MPEG-4 Part 2 + MP3 in AVI and to H.264 (libx264, the built-in preset "medium") + AAC in
// MP4, through the engine and through the ffmpeg program with the same settings, interleaved;
// prints the median wall time and peak memory of each and our ratios.
//
//   audioconv-video-bench [--seconds S] [--repeat N] [--case NAME] [--keep]
//
// The case DEI is the AVI case with every picture deinterlaced (the peer runs "yadif" over
// the stream as a whole).
//
// Every conversion runs in a child process of its own; the engine's re-run this program with
// --convert-one CASE SOURCE OUTPUT.
#include <cstdlib>
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

// One case: the engine's options in the order the encoder component applies them and the
// ffmpeg program's arguments for the same work. The built-in "medium" preset carries lines of
// an older libx264 wrapper; the ones today's library still takes give x264's own medium
// preset, which the peer asks for by name.
struct TVideoCase {
    const char* Name;
    const char* Extension;
    const char* Description;
    TOptionList EngineOptions;
    std::vector<std::string> FfmpegArgs;
};

const std::vector<TVideoCase>& Cases() {
    static const std::vector<TVideoCase> cases = {
        {"AVI",
         ".avi",
         "mpeg4 1500 kbit/s + libmp3lame 128 kbit/s",
         {{"vcodec", "mpeg4"},
          {"b", "1500000"},
          {"acodec", "libmp3lame"},
          {"ab", "128000"},
          {"ar", "44100"},
          {"ac", "2"}},
         {"-c:v", "mpeg4", "-b:v", "1500000", "-c:a", "libmp3lame", "-b:a", "128000", "-ar",
          "44100", "-ac", "2"}},
        {"MP4",
         ".mp4",
         "libx264 medium 1500 kbit/s + aac 128 kbit/s",
         {{"vcodec", "libx264"},
          {"vpre", "medium"},
          {"b", "1500000"},
          {"acodec", "aac"},
          {"ab", "128000"},
          {"ar", "44100"},
          {"ac", "2"}},
         {"-c:v", "libx264", "-preset", "medium", "-b:v", "1500000", "-c:a", "aac", "-b:a",
          "128000", "-ar", "44100", "-ac", "2"}},
        {"DEI",
         ".avi",
         "deinterlaced, mpeg4 1500 kbit/s + libmp3lame",
         {{"deinterlace", "1"},
          {"vcodec", "mpeg4"},
          {"b", "1500000"},
          {"acodec", "libmp3lame"},
          {"ab", "128000"},
          {"ar", "44100"},
          {"ac", "2"}},
         {"-vf", "yadif=mode=send_frame:parity=auto:deint=all", "-c:v", "mpeg4", "-b:v", "1500000",
          "-c:a", "libmp3lame", "-b:a", "128000", "-ar", "44100", "-ac", "2"}},
    };
    return cases;
}

const TVideoCase* FindCase(const std::string& name) {
    for (const TVideoCase& c : Cases())
        if (name == c.Name)
            return &c;
    return nullptr;
}

int ConvertOne(const std::string& caseName, const std::string& source, const std::string& output) {
    const TVideoCase* c = FindCase(caseName);
    if (c == nullptr) {
        std::fprintf(stderr, "unknown case %s\n", caseName.c_str());
        return 2;
    }
    return RunEngineJob(source, output, c->EngineOptions, [](TCustomFFmpeg& task) {
        // Preset lines today's libraries no longer know are passed over, as the window does.
        task.RaiseOptionErrors = false;
    });
}

struct TOptions {
    double Seconds = 60;
    int Repeat = 3;
    std::string Case; // only this case; empty: every case
    bool Keep = false;
};

std::optional<TOptions> ParseArgs(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--seconds" && hasValue) {
            if ((o.Seconds = std::atof(argv[++i])) <= 0)
                return std::nullopt;
        } else if (a == "--repeat" && hasValue) {
            if ((o.Repeat = std::atoi(argv[++i])) < 1)
                return std::nullopt;
        } else if (a == "--case" && hasValue) {
            if (FindCase(o.Case = argv[++i]) == nullptr)
                return std::nullopt;
        } else if (a == "--keep") {
            o.Keep = true;
        } else {
            return std::nullopt;
        }
    }
    return o;
}

uintmax_t SizeOf(const std::string& path) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

int RunBenchmark(const TOptions& options) {
    std::error_code ec;
    const std::string self = fs::read_symlink("/proc/self/exe", ec).string();
    char pattern[] = "/tmp/audioconv-video-bench-XXXXXX";
    if (ec || mkdtemp(pattern) == nullptr) {
        std::fprintf(stderr, "cannot find this program or create a work folder\n");
        return 2;
    }
    const std::string work = pattern;
    const std::string source = work + "/source.mkv";
    const std::string seconds = std::to_string(options.Seconds);
    std::printf("making a %g-second 640x480 25 fps clip (mpeg4, q 3) with a stereo tone in %s "
                "...\n",
                options.Seconds, work.c_str());
    std::fflush(stdout);
    if (!RunChild(FfmpegCommand({"-f", "lavfi", "-i",
                                 "testsrc2=size=640x480:rate=25:duration=" + seconds, "-f", "lavfi",
                                 "-i", "sine=frequency=440:duration=" + seconds, "-ac", "2", "-c:v",
                                 "mpeg4", "-q:v", "3", "-c:a", "pcm_s16le", "-shortest", source}),
                  true)
             .Ok) {
        std::fprintf(stderr, "the ffmpeg program could not make the source\n");
        return 2;
    }
    std::printf("%d run(s) of each, interleaved; median wall time and peak memory; ratio = "
                "ours / ffmpeg\n\n",
                options.Repeat);
    std::printf("%-4s %-44s %7s %7s %6s %8s %8s %7s %7s %6s\n", "case", "settings", "ours s",
                "ff s", "ratio", "our cpu", "ff cpu", "our MiB", "ff MiB", "ratio");
    bool allOk = true;
    for (const TVideoCase& c : Cases()) {
        if (!options.Case.empty() && options.Case != c.Name)
            continue;
        const std::string ours = work + "/ours" + c.Extension;
        const std::string theirs = work + "/ffmpeg" + c.Extension;
        std::vector<std::string> ffmpegArgs = {"-i", source};
        ffmpegArgs.insert(ffmpegArgs.end(), c.FfmpegArgs.begin(), c.FfmpegArgs.end());
        ffmpegArgs.push_back(theirs);
        TMeasure our;
        TMeasure peer;
        for (int r = 0; r < options.Repeat; ++r) {
            fs::remove(ours);
            fs::remove(theirs);
            our.Add(RunChild({self, "--convert-one", c.Name, source, ours}, true));
            peer.Add(RunChild(FfmpegCommand(ffmpegArgs), true));
        }
        our.Ok = our.Ok && SizeOf(ours) > 0;
        peer.Ok = peer.Ok && SizeOf(theirs) > 0;
        allOk = allOk && our.Ok && peer.Ok;
        if (!our.Ok || !peer.Ok) {
            std::printf("%-4s %-44s %s\n", c.Name, c.Description,
                        !our.Ok ? "ours failed" : "ffmpeg failed");
            continue;
        }
        std::printf("%-4s %-44s %7.2f %7.2f %6.2f %8.2f %8.2f %7.1f %7.1f %6.2f\n", c.Name,
                    c.Description, our.WallSeconds(), peer.WallSeconds(),
                    our.WallSeconds() / peer.WallSeconds(), our.CpuSeconds(), peer.CpuSeconds(),
                    our.PeakMiB(), peer.PeakMiB(), our.PeakMiB() / peer.PeakMiB());
        std::fflush(stdout);
    }
    if (options.Keep)
        std::printf("\nfiles kept in %s\n", work.c_str());
    else
        fs::remove_all(work, ec);
    return allOk ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--convert-one") == 0)
        return ConvertOne(argv[2], argv[3], argv[4]);
    const std::optional<TOptions> options = ParseArgs(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: %s [--seconds S] [--repeat N] [--case NAME] [--keep]\n",
                     argv[0]);
        return 2;
    }
    return RunBenchmark(*options);
}
