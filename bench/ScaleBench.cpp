// Scale benchmark: a long batch of short sources of mixed formats (WAV, FLAC, MP3, OGG, M4A;
// a few seconds each) converted to MP3 preset 0 by audioconv-cli at --jobs 2, against the
// same work done by the ffmpeg program once per file, two at a time (xargs -P 2), in one run.
// A batch of 100 of the same sources gives the throughput the long batch should keep. While
// each run goes on its open files are sampled; its peak memory is the child's maximum
// resident set.
//
//   audioconv-scale-bench [--files N] [--seconds S] [--work DIR] [--keep] [--no-peer]
//
// --no-peer leaves out the ffmpeg runs (they take about ten times as long).
// N defaults to 10000 and S to 2. The sources are made once from five generated files (one
// per format, different tones) copied under distinct names. audioconv-cli is taken from the
// folder of this program.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

using TArgs = std::vector<std::string>;

struct TSettings {
    int Files = 10000;
    int Seconds = 2;
    std::string Work = (fs::temp_directory_path() / "audioconv-scale-bench").string();
    bool Keep = false;
    bool Peer = true;
};

struct TMeasure {
    double WallSeconds = 0;
    long PeakRssKb = 0;
    int PeakOpenFiles = 0;
    int Status = -1;
};

int OpenFilesOf(pid_t pid) {
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = opendir(folder.c_str());
    if (fds == nullptr)
        return 0;
    int count = 0;
    while (const dirent* entry = readdir(fds))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(fds);
    return count;
}

// Runs `args` with its output sent to /dev/null, sampling its open files every 20 ms.
TMeasure Run(const TArgs& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    TMeasure measure;
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return measure;
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        measure.PeakOpenFiles = std::max(measure.PeakOpenFiles, OpenFilesOf(pid));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    measure.WallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measure.PeakRssKb = usage.ru_maxrss;
    measure.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return measure;
}

bool RunQuiet(const TArgs& args) {
    return Run(args).Status == 0;
}

// The five base sources, one per format.
std::vector<std::string> MakeBases(const TSettings& settings, const std::string& folder) {
    const struct {
        const char* Extension;
        const char* Codec;
        int Frequency;
    } formats[] = {{"wav", "pcm_s16le", 330},
                   {"flac", "flac", 440},
                   {"mp3", "libmp3lame", 550},
                   {"ogg", "libvorbis", 660},
                   {"m4a", "aac", 770}};
    std::vector<std::string> bases;
    for (const auto& f : formats) {
        const std::string path = folder + "/base." + f.Extension;
        const std::string source = "sine=frequency=" + std::to_string(f.Frequency) +
                                   ":duration=" + std::to_string(settings.Seconds);
        if (!RunQuiet({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", source, "-ac", "2",
                       "-ar", "44100", "-c:a", f.Codec, path}))
            return {};
        bases.push_back(path);
    }
    return bases;
}

// `count` sources in `folder`, the bases in turn under distinct names.
bool MakeBatch(const std::vector<std::string>& bases, const std::string& folder, int count) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder, ec);
    for (int i = 0; i < count; ++i) {
        const std::string& base = bases[static_cast<size_t>(i) % bases.size()];
        char name[64];
        std::snprintf(name, sizeof name, "/s%05d%s", i, fs::path(base).extension().c_str());
        fs::copy_file(base, folder + name, ec);
        if (ec)
            return false;
    }
    return true;
}

std::string Fresh(const std::string& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder, ec);
    return folder;
}

int CountFiles(const std::string& folder) {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        count += entry.is_regular_file() ? 1 : 0;
    (void)ec;
    return count;
}

TMeasure RunOurs(const std::string& cli, const std::string& sources, const std::string& out) {
    return Run({cli, "--quiet", "-j", "2", "-f", "mp3", "-p", "0", "-o", Fresh(out), sources});
}

// The loop a user would script: one ffmpeg per file, two at a time.
TMeasure RunPeer(const std::string& sources, const std::string& out) {
    Fresh(out);
    const std::string script =
        "find '" + sources +
        "' -type f -print0 | xargs -0 -P 2 -n 1 sh -c 'ffmpeg -nostdin -v "
        "error -y -i \"$1\" -vn -c:a libmp3lame -ar 44100 -ac 2 -b:a 112k \"" +
        out + "/$(basename \"$1\").mp3\"' sh";
    return Run({"sh", "-c", script});
}

void PrintRow(const char* what, int files, const TMeasure& m, int converted) {
    std::printf("%-28s %6d %9.1f %9.1f %10.1f %10d %9d\n", what, files, m.WallSeconds,
                m.WallSeconds > 0 ? files / m.WallSeconds : 0.0, m.PeakRssKb / 1024.0,
                m.PeakOpenFiles, converted);
}

} // namespace

int main(int argc, char** argv) {
    TSettings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--files" && hasValue)
            settings.Files = std::max(100, std::atoi(argv[++i]));
        else if (arg == "--seconds" && hasValue)
            settings.Seconds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--work" && hasValue)
            settings.Work = argv[++i];
        else if (arg == "--keep")
            settings.Keep = true;
        else if (arg == "--no-peer")
            settings.Peer = false;
        else {
            std::fprintf(stderr,
                         "usage: audioconv-scale-bench [--files N] [--seconds S] [--work DIR] "
                         "[--keep] [--no-peer]\n");
            return 2;
        }
    }
    std::error_code ec;
    const std::string cli = (fs::canonical("/proc/self/exe", ec).parent_path() / "audioconv-cli");
    const std::string work = Fresh(settings.Work);
    const std::vector<std::string> bases = MakeBases(settings, Fresh(work + "/bases"));
    if (bases.empty() || !MakeBatch(bases, work + "/small", 100) ||
        !MakeBatch(bases, work + "/large", settings.Files)) {
        std::fprintf(stderr, "cannot make the sources (is ffmpeg installed?)\n");
        return 1;
    }
    std::printf("%d sources of %d s (WAV, FLAC, MP3, OGG, M4A in turn) to MP3 preset 0, 2 at a "
                "time\n\n",
                settings.Files, settings.Seconds);
    std::printf("%-28s %6s %9s %9s %10s %10s %9s\n", "run", "files", "wall s", "files/s", "peak MB",
                "open files", "outputs");

    const TMeasure small = RunOurs(cli, work + "/small", work + "/out-small");
    PrintRow("audioconv-cli, 100", 100, small, CountFiles(work + "/out-small"));
    const TMeasure large = RunOurs(cli, work + "/large", work + "/out-large");
    PrintRow("audioconv-cli, all", settings.Files, large, CountFiles(work + "/out-large"));
    TMeasure peer;
    if (settings.Peer) {
        peer = RunPeer(work + "/large", work + "/out-peer");
        PrintRow("ffmpeg per file, xargs -P 2", settings.Files, peer,
                 CountFiles(work + "/out-peer"));
    }

    const double smallRate = small.WallSeconds > 0 ? 100 / small.WallSeconds : 0;
    const double largeRate = large.WallSeconds > 0 ? settings.Files / large.WallSeconds : 0;
    std::printf("\npeak memory per running job: %.1f MB\n", large.PeakRssKb / 1024.0 / 2);
    std::printf("throughput, all vs 100: %.3f\n", smallRate > 0 ? largeRate / smallRate : 0.0);
    if (settings.Peer)
        std::printf("wall time, ours vs ffmpeg per file: %.3f\n",
                    peer.WallSeconds > 0 ? large.WallSeconds / peer.WallSeconds : 0.0);
    std::printf("open files limit for the run (2 x jobs + 30): 34\n");
    if (!settings.Keep)
        fs::remove_all(work, ec);
    return 0;
}
