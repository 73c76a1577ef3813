// Probing a batch of source files on a thread of its own, with a prober of its own, while
// the window stays responsive. Results are handed over in the order of the list.
//
// Locks: the batch's one lock guards its result queue and flags only; it is never held while
// the worker probes or waits for the main thread (the prober's log lines do), and the main
// thread takes it only to take results out.
#pragma once

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SourceAdd.h"

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
    // Starts probing `paths`. `notify` is called on the worker when results wait and nobody
    // was told yet, and once more when the batch has ended; it must only post to the main
    // thread.
    TSourceProbeBatch(std::vector<std::string> paths, QImage audioPicture,
                      std::function<void()> notify);
    // Stops after the file being probed and waits, running the main-thread calls the worker
    // waits for meanwhile.
    ~TSourceProbeBatch();
    TSourceProbeBatch(const TSourceProbeBatch&) = delete;
    TSourceProbeBatch& operator=(const TSourceProbeBatch&) = delete;

    // The results probed since the last call, in list order.
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
    void Run(std::vector<std::string> paths);
    void Push(TProbedRow row);
    void End(const std::string& libraryError);

    const size_t FTotal;
    const QImage FAudioPicture;
    std::function<void()> FNotify;
    std::atomic<bool> FCancel{false};
    std::atomic<size_t> FDone{0};
    mutable std::mutex FLock;
    std::condition_variable FEnded;
    std::deque<TProbedRow> FQueue; // guarded by FLock
    bool FNotified = false;        // guarded by FLock
    bool FFinished = false;        // guarded by FLock
    std::string FLibraryError;     // guarded by FLock
    std::thread FThread;
};
