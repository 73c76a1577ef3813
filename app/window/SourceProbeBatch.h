// Probing a batch of source files off the main thread while the window stays responsive: one
// worker per core, each with a prober of its own, taking the files in list order. Results are
// handed over in the order of the list.
//
// Locks: the batch's one lock guards its result slots and flags only; it is never held while
// a worker probes or waits for the main thread (the prober's log lines do), and the main
// thread takes it only to take results out.
#pragma once

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sources/SourceAdd.h"

// One probed file with its thumbnail, ready for its row.
struct TProbedRow {
    TProbedSource Source;
    QImage Thumbnail;
};

// The thumbnail of a probed file: the audio picture for a file without video, an empty picture
// when the middle picture could not be decoded, else that picture fitted into the slide's box.
QImage SourceThumbnail(const TProbedSource& source, const QImage& audioPicture);

class TSourceProbeBatch {
public:
    // Starts probing `paths` on `workers` threads (at least one). `notify` is called on a
    // worker when results wait and nobody was told yet, and once more when the batch has
    // ended; it must only post to the main thread.
    TSourceProbeBatch(std::vector<std::string> paths, QImage audioPicture,
                      std::function<void()> notify, unsigned workers);
    // Stops after the file being probed and waits, running the main-thread calls the worker
    // waits for meanwhile.
    ~TSourceProbeBatch();
    TSourceProbeBatch(const TSourceProbeBatch&) = delete;
    TSourceProbeBatch& operator=(const TSourceProbeBatch&) = delete;

    // The results that follow those taken before without a gap, in list order.
    std::vector<TProbedRow> Take();
    // True once the worker has ended (every file probed, stopped, or a library error).
    bool Finished() const;
    // The prober's error that ended the batch early ("LibAVCodec not loaded." ...).
    std::string LibraryError() const;
    size_t Total() const { return FTotal; }
    // Files probed so far, failed ones included.
    size_t Done() const { return FDone.load(); }

    void Cancel() { FCancel = true; }

private:
    void Run();
    void Store(size_t index, TProbedRow row);
    void End(const std::string& libraryError);

    const std::vector<std::string> FPaths;
    const size_t FTotal;
    const QImage FAudioPicture;
    std::function<void()> FNotify;
    std::atomic<bool> FCancel{false};
    std::atomic<size_t> FNext{0}; // the next file a worker takes
    std::atomic<size_t> FDone{0};
    mutable std::mutex FLock;
    std::condition_variable FEnded;
    std::vector<std::optional<TProbedRow>> FSlots; // guarded by FLock, one per file
    size_t FTaken = 0;                             // guarded by FLock
    unsigned FRunning = 0;                         // guarded by FLock: workers not ended
    bool FNotified = false;                        // guarded by FLock
    std::string FLibraryError;                     // guarded by FLock
    std::vector<std::thread> FThreads;
};
