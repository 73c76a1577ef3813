// Source-list benchmark: adds 1000 short audio files (FLAC, MP3 and WAV of 3 s) and then 100
// short videos (with thumbnails) to the main window's source list, from the call to the last
// row shown, on the offscreen platform. The peer, measured in the same run, is the prober
// alone probing the same files one after another on the main thread (the blocking add); its
// phases say where the time goes. Prints wall time, time per file, ratios and peak memory.
//
//   audioconv-source-bench [--audio N] [--video N] [--work DIR]
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "FFDecode.h"
#include "Main.h"
#include "MyUtils.h"
#include "QtPlatform.h"
#include "SourceGridModel.h"
#include "SourceGridView.h"
#include "SourceProbeBatch.h"
#include "brand/StartUp.h"
#include "settings/globals.h"
#include "sources/SourceAdd.h"

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

// CPU time of the whole process (every thread), in seconds.
double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(TClock::time_point since) {
    return std::chrono::duration<double>(TClock::now() - since).count();
}

long PeakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// `count` files copied from the made originals, in turn.
std::vector<std::string> MakeFiles(const std::string& dir, const std::vector<std::string>& makes,
                                   int count) {
    fs::create_directories(dir);
    std::vector<std::string> originals;
    for (size_t i = 0; i < makes.size(); i += 2) {
        const std::string path = dir + "/original" + makes[i];
        if (!fs::exists(path)) {
            const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y " +
                                    makes[i + 1] + " '" + path + "'";
            if (std::system(cmd.c_str()) != 0) {
                std::fprintf(stderr, "cannot make %s\n", path.c_str());
                std::exit(1);
            }
        }
        originals.push_back(path);
    }
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        const std::string& from = originals[static_cast<size_t>(i) % originals.size()];
        const std::string to =
            dir + "/file" + std::to_string(i) + fs::path(from).extension().string();
        if (!fs::exists(to))
            fs::copy_file(from, to);
        files.push_back(to);
    }
    return files;
}

struct TPeer {
    double Total = 0, Cpu = 0, Open = 0, Picture = 0, Facts = 0;
    std::map<std::string, double> OpenByType; // seconds opening the files of each extension
};

struct TTimed {
    double Wall = 0, Cpu = 0;
};

// The prober alone, on this thread, with its phases timed.
TPeer ProbeAlone(const std::vector<std::string>& files) {
    TPeer peer;
    TFFDecoder prober;
    const auto start = TClock::now();
    const double cpu = ProcessCpuSeconds();
    for (const std::string& file : files) {
        auto t = TClock::now();
        if (!prober.LoadFile(file))
            continue;
        peer.Open += Seconds(t);
        peer.OpenByType[fs::path(file).extension().string()] += Seconds(t);
        t = TClock::now();
        if (prober.FirstVideoStreamIndex() >= 0) {
            TFileStreamInfo info;
            prober.GetFileStreamInfo(info);
            prober.Seek(0, info.Duration < 0 ? 0 : info.Duration / 2);
            TBitmap bitmap;
            if (prober.Decode(prober.FirstVideoStreamIndex()))
                prober.GetBitmap(bitmap);
        }
        peer.Picture += Seconds(t);
        t = TClock::now();
        TFileStreamInfo info;
        prober.GetFileStreamInfo(info);
        TAudioStreamInfo audio;
        if (prober.FirstAudioStreamIndex() >= 0)
            prober.GetAudioStreamInfo(prober.FirstAudioStreamIndex(), audio);
        prober.CloseFile();
        peer.Facts += Seconds(t);
    }
    peer.Total = Seconds(start);
    peer.Cpu = ProcessCpuSeconds() - cpu;
    return peer;
}

// The window's add routine from the call to the last row painted.
TTimed AddInWindow(TFormMain& form, const std::vector<std::string>& files) {
    form.ClearSourceList();
    QCoreApplication::processEvents();
    const auto start = TClock::now();
    const double cpu = ProcessCpuSeconds();
    form.AddSourceFiles(files);
    while (form.SourceBatchRunning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    form.NextGrid->scrollToBottom();
    form.NextGrid->viewport()->repaint();
    const TTimed timed{Seconds(start), ProcessCpuSeconds() - cpu};
    if (form.SourceGrid()->rowCount() != static_cast<int>(files.size())) {
        std::fprintf(stderr, "only %d of %zu rows were added\n", form.SourceGrid()->rowCount(),
                     files.size());
        std::exit(1);
    }
    return timed;
}

void Report(const char* what, const std::vector<std::string>& files, const TTimed& window,
            const TPeer& peer, double limit) {
    const double n = static_cast<double>(files.size());
    std::printf("%s: %zu files\n", what, files.size());
    std::printf("  window add:    %7.3f s wall %7.2f ms/file, %7.3f s CPU  (limit %.1f s: %s)\n",
                window.Wall, 1000 * window.Wall / n, window.Cpu, limit,
                window.Wall <= limit ? "met" : "MISSED");
    std::printf("  prober alone:  %7.3f s wall %7.2f ms/file, %7.3f s CPU  (open %.3f s, "
                "picture %.3f s, facts and close %.3f s)\n",
                peer.Total, 1000 * peer.Total / n, peer.Cpu, peer.Open, peer.Picture, peer.Facts);
    for (const auto& [type, seconds] : peer.OpenByType)
        std::printf("    opening %s: %.3f s\n", type.c_str(), seconds);
    std::printf("  ratio window / prober alone: %.2f wall, %.2f CPU\n", window.Wall / peer.Total,
                window.Cpu / peer.Cpu);
}

} // namespace

int main(int argc, char* argv[]) {
    int audioCount = 1000, videoCount = 100;
    std::string work = (fs::temp_directory_path() / "audioconv-source-bench").string();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--audio")
            audioCount = std::atoi(argv[i + 1]);
        else if (arg == "--video")
            videoCount = std::atoi(argv[i + 1]);
        else if (arg == "--work")
            work = argv[i + 1];
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    TQtMainThreadDispatcher dispatcher;
    InstallMainThreadDispatcher(&dispatcher);

    const std::vector<std::string> audio =
        MakeFiles(work + "/audio",
                  {".flac", "-f lavfi -i sine=frequency=440:duration=3 -ac 2", ".mp3",
                   "-f lavfi -i sine=frequency=660:duration=3 -ac 2 -b:a 128k", ".wav",
                   "-f lavfi -i sine=frequency=880:duration=3 -ac 2"},
                  audioCount);
    const std::vector<std::string> video =
        MakeFiles(work + "/video",
                  {".mp4", "-f lavfi -i testsrc=size=640x360:rate=25:duration=3 -f lavfi -i "
                           "sine=duration=3 -c:v libx264 -preset veryfast -c:a aac -shortest"},
                  videoCount);

    TGlobalVars vars;
    GlobalVars = &vars;
    {
        TFormMain form(AUDIOCONV_BIN_DIR "/audioconv");
        form.show();
        QCoreApplication::processEvents();
        // Warm the file cache and the libraries once, so both sides read from memory.
        ProbeAlone(audio);
        ProbeAlone(video);

        const TTimed audioWindow = AddInWindow(form, audio);
        const TPeer audioPeer = ProbeAlone(audio);
        const TTimed videoWindow = AddInWindow(form, video);
        const TPeer videoPeer = ProbeAlone(video);
        Report("audio", audio, audioWindow, audioPeer, 2.0);
        Report("video with thumbnails", video, videoWindow, videoPeer, 5.0);
        std::printf("peak memory: %.1f MiB\n", PeakMemoryKiB() / 1024.0);
    }
    GlobalVars = nullptr;
    InstallMainThreadDispatcher(nullptr);
    return 0;
}
