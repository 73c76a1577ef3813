// How the machine's cores are shared among the jobs that run at the same time.
#include <algorithm>
#include <thread>

#include "FFmpeg.h"

int ThreadsPerJob(int runningJobs) {
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::max(1, std::max(1, cores) / std::max(1, runningJobs));
}
