// What the benchmarks share: a conversion in a child process of its own, so that its wall
// time, CPU time and peak memory can be read from wait4, the ffmpeg program's command line,
// and the medians of repeated runs.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

struct TChildResult {
    bool Ok = false;
    double WallSeconds = 0;
    double CpuSeconds = 0;
    long PeakKiB = 0;
};

inline TChildResult RunChild(const std::vector<std::string>& args, bool quiet) {
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

inline std::vector<std::string> FfmpegCommand(const std::vector<std::string>& middle) {
    std::vector<std::string> cmd = {"ffmpeg",   "-nostdin", "-hide_banner", "-loglevel", "error",
                                    "-nostats", "-y"};
    cmd.insert(cmd.end(), middle.begin(), middle.end());
    return cmd;
}

// The runs of one program on one case; the medians describe them (the middle run is the
// one least moved by other work on a shared machine, in either direction).
struct TMeasure {
    bool Ok = true;
    std::vector<double> Wall;
    std::vector<double> Cpu;
    std::vector<long> PeakKiB;
    uintmax_t OutputBytes = 0;
    void Add(const TChildResult& r) {
        Ok = Ok && r.Ok;
        if (!r.Ok)
            return;
        Wall.push_back(r.WallSeconds);
        Cpu.push_back(r.CpuSeconds);
        PeakKiB.push_back(r.PeakKiB);
    }
    template <typename T> static T Median(std::vector<T> v) {
        if (v.empty())
            return T{};
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    double WallSeconds() const { return Median(Wall); }
    double CpuSeconds() const { return Median(Cpu); }
    double PeakMiB() const { return Median(PeakKiB) / 1024.0; }
};

} // namespace bench
