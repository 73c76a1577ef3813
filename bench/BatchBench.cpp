// Batch benchmark: converts a batch of sources to MP3 (preset 0: libmp3lame, 44100 Hz, stereo,
// 112 kbps) with audioconv-cli at --jobs 1 and --jobs 2, and with the ffmpeg program doing the
// same work one file after another and two files at a time, all in one run. Prints the wall
// and CPU times of each and their ratios.
//
//   audioconv-batch-bench [--files N] [--seconds S] [--repeat R] [--samples DIR]
//                         [--work DIR] [--keep]
//
// The sources are N files of S seconds (default 40 of 30 s), 44100 Hz stereo FLAC. With
// --samples (or when /usr/share/sounds holds audio files) they are made from those recordings,
// looped to length; otherwise they are generated: pink noise under a tone, different for each
// file. audioconv-cli is taken from the folder of this program.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
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
    int Files = 40;
    int Seconds = 30;
    int Repeat = 1;
    std::string Samples;
    std::string Work = (fs::temp_directory_path() / "audioconv-batch-bench").string();
    bool Keep = false;
};

// Starts `args` with its standard output (and, when `quietErrors`, its error output) sent to
// /dev/null; the process id, or -1.
pid_t Spawn(const TArgs& args, bool quietErrors) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (quietErrors)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Runs the commands, at most `parallel` at a time; true when every one exited with 0.
bool RunAll(const std::vector<TArgs>& commands, int parallel) {
    size_t next = 0;
    int running = 0;
    bool ok = true;
    while (next < commands.size() || running > 0) {
        while (running < parallel && next < commands.size()) {
            if (Spawn(commands[next++], false) < 0) {
                ok = false;
                continue;
            }
            ++running;
        }
        int status = 0;
        if (waitpid(-1, &status, 0) < 0)
            break;
        --running;
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return ok;
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct TMeasure {
    double Wall = 0;
    double Cpu = 0;
    bool Ok = false;
};

TMeasure Measure(const std::vector<TArgs>& commands, int parallel) {
    const double cpu0 = ChildrenCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    TMeasure m;
    m.Ok = RunAll(commands, parallel);
    m.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.Cpu = ChildrenCpuSeconds() - cpu0;
    return m;
}

bool IsAudioFile(const fs::path& p) {
    std::string ext = p.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".wav" || ext == ".flac" || ext == ".ogg" || ext == ".oga" || ext == ".mp3";
}

// Recordings to make the sources from: the files of `folder` (with its subfolders).
std::vector<std::string> FindSamples(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec))
        return found;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec) && IsAudioFile(it->path()))
            found.push_back(it->path().string());
    std::sort(found.begin(), found.end());
    return found;
}

// The sources, made once per setting and kept in the work folder.
bool MakeSources(const TSettings& s, std::vector<std::string>& sources, std::string& origin) {
    std::vector<std::string> samples = FindSamples(s.Samples);
    if (samples.empty() && s.Samples.empty())
        samples = FindSamples("/usr/share/sounds");
    origin = samples.empty() ? "generated (pink noise under a tone)"
                             : "made from " + std::to_string(samples.size()) + " recordings";
    const fs::path dir =
        fs::path(s.Work) / ("sources-" + std::to_string(s.Files) + "x" + std::to_string(s.Seconds) +
                            "s" + (samples.empty() ? "-generated" : "-samples"));
    fs::create_directories(dir);
    std::vector<TArgs> missing;
    for (int i = 0; i < s.Files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "source%02d.flac", i);
        const std::string path = (dir / name).string();
        sources.push_back(path);
        if (fs::exists(path))
            continue;
        TArgs make = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
        const std::string seconds = std::to_string(s.Seconds);
        if (samples.empty()) {
            make.insert(make.end(),
                        {"-f", "lavfi", "-i",
                         "anoisesrc=color=pink:amplitude=0.3:seed=" + std::to_string(i + 1) +
                             ":duration=" + seconds,
                         "-f", "lavfi", "-i",
                         "sine=frequency=" + std::to_string(220 + 37 * i) + ":duration=" + seconds,
                         "-filter_complex", "amix=inputs=2"});
        } else {
            make.insert(make.end(),
                        {"-stream_loop", "-1", "-i", samples[i % samples.size()], "-t", seconds});
        }
        make.insert(make.end(), {"-ac", "2", "-ar", "44100", "-c:a", "flac", path});
        missing.push_back(make);
    }
    if (missing.empty())
        return true;
    std::printf("Making %zu sources in %s ...\n", missing.size(), dir.c_str());
    std::fflush(stdout);
    return RunAll(missing, 2);
}

// Output files with a size in `folder`.
int CountOutputs(const std::string& folder) {
    int n = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        n += it->is_regular_file(ec) && it->file_size(ec) > 0 ? 1 : 0;
    return n;
}

std::string FreshFolder(const TSettings& s, const std::string& name) {
    const fs::path p = fs::path(s.Work) / name;
    fs::remove_all(p);
    fs::create_directories(p);
    return p.string();
}

std::vector<TArgs> CliCommand(const std::string& cli, const std::string& sourceDir,
                              const std::string& out, int jobs) {
    return {{cli, "-f", "mp3", "-p", "0", "--jobs", std::to_string(jobs), "--quiet", "-o", out,
             sourceDir}};
}

std::vector<TArgs> FfmpegCommands(const std::vector<std::string>& sources, const std::string& out) {
    std::vector<TArgs> commands;
    for (const std::string& source : sources)
        commands.push_back({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-i",
                            source, "-vn", "-sn", "-c:a", "libmp3lame", "-ac", "2", "-ar", "44100",
                            "-b:a", "112000",
                            (fs::path(out) / fs::path(source).stem()).string() + ".mp3"});
    return commands;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int Usage() {
    std::fprintf(stderr, "usage: audioconv-batch-bench [--files N] [--seconds S] [--repeat R] "
                         "[--samples DIR] [--work DIR] [--keep]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    TSettings s;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--keep") {
            s.Keep = true;
        } else if ((a == "--files" || a == "--seconds" || a == "--repeat") && (v = value())) {
            const int n = std::atoi(v);
            if (n < 1)
                return Usage();
            (a == "--files" ? s.Files : a == "--seconds" ? s.Seconds : s.Repeat) = n;
        } else if (a == "--samples" && (v = value())) {
            s.Samples = v;
        } else if (a == "--work" && (v = value())) {
            s.Work = v;
        } else {
            return Usage();
        }
    }

    const std::string cli =
        (fs::canonical("/proc/self/exe").parent_path() / "audioconv-cli").string();
    if (!fs::exists(cli)) {
        std::fprintf(stderr, "%s not found: build the target audioconv-cli first\n", cli.c_str());
        return 1;
    }
    std::vector<std::string> sources;
    std::string origin;
    if (!MakeSources(s, sources, origin)) {
        std::fprintf(stderr, "the sources could not be made (is the ffmpeg program installed?)\n");
        return 1;
    }
    const std::string sourceDir = fs::path(sources.front()).parent_path().string();

    struct TRunKind {
        const char* Name;
        int Parallel;
        bool Cli;
    };
    const TRunKind kinds[] = {
        {"audioconv-cli --jobs 1", 1, true},
        {"ffmpeg, one file after another", 1, false},
        {"audioconv-cli --jobs 2", 2, true},
        {"ffmpeg, two files at a time", 2, false},
    };
    std::vector<std::vector<double>> wall(4), cpu(4);
    std::printf("Batch: %d sources of %d s, %s; MP3 preset 0; %d round(s); %u cores\n", s.Files,
                s.Seconds, origin.c_str(), s.Repeat,
                std::max(1u, std::thread::hardware_concurrency()));
    std::fflush(stdout);
    for (int round = 0; round < s.Repeat; ++round) {
        for (int k = 0; k < 4; ++k) {
            const std::string out = FreshFolder(s, "out-" + std::to_string(k));
            const TMeasure m = kinds[k].Cli
                                   ? Measure(CliCommand(cli, sourceDir, out, kinds[k].Parallel), 1)
                                   : Measure(FfmpegCommands(sources, out), kinds[k].Parallel);
            const int outputs = CountOutputs(out);
            if (!m.Ok || outputs != s.Files) {
                std::fprintf(stderr, "%s: %s, %d of %d outputs\n", kinds[k].Name,
                             m.Ok ? "finished" : "failed", outputs, s.Files);
                return 1;
            }
            wall[k].push_back(m.Wall);
            cpu[k].push_back(m.Cpu);
        }
    }

    double w[4], c[4];
    for (int k = 0; k < 4; ++k) {
        w[k] = Median(wall[k]);
        c[k] = Median(cpu[k]);
    }
    const double audioSeconds = static_cast<double>(s.Files) * s.Seconds;
    std::printf("\n| run | wall s | CPU s | x real time | wall vs ffmpeg |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    for (int k = 0; k < 4; ++k) {
        const int peer = k < 2 ? 1 : 3; // the ffmpeg run of the same parallelism
        std::printf("| %s | %.2f | %.2f | %.0f | %.2f |\n", kinds[k].Name, w[k], c[k],
                    audioSeconds / w[k], w[k] / w[peer]);
    }
    std::printf("\nTwo at a time against one after another (wall): audioconv-cli %.2fx, "
                "ffmpeg %.2fx faster\n",
                w[0] / w[2], w[1] / w[3]);
    if (!s.Keep)
        for (int k = 0; k < 4; ++k)
            fs::remove_all(fs::path(s.Work) / ("out-" + std::to_string(k)));
    return 0;
}
