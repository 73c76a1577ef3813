#include "SourceProbeBatch.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "FFDecode.h"
#include "MyUtils.h"
#include "SourceGridDelegate.h"

QImage SourceThumbnail(const TProbedSource& source, const QImage& audioPicture) {
    if (!source.HasVideo)
        return audioPicture;
    const TBitmap& picture = source.Picture;
    if (!source.PictureDecoded || picture.Width() <= 0 || picture.Height() <= 0 ||
        picture.PixelFormat() != TPixelFormat::pf24bit)
        return {};
    // The bitmap keeps its rows bottom-up with the bytes blue, green, red.
    const QImage upsideDown(picture.Bits(), picture.Width(), picture.Height(), picture.RowSize(),
                            QImage::Format_BGR888);
    return upsideDown.mirrored(false, true)
        .scaled(SlidePictureWidth, SlidePictureHeight, Qt::KeepAspectRatio,
                Qt::SmoothTransformation);
}

TSourceProbeBatch::TSourceProbeBatch(std::vector<std::string> paths, QImage audioPicture,
                                     std::function<void()> notify, unsigned workers)
    : FPaths(std::move(paths)), FTotal(FPaths.size()), FAudioPicture(std::move(audioPicture)),
      FNotify(std::move(notify)), FSlots(FPaths.size()) {
    const unsigned count = std::max(1u, std::min<unsigned>(workers, FTotal));
    FRunning = count;
    for (unsigned i = 0; i < count; ++i)
        FThreads.emplace_back([this] { Run(); });
}

TSourceProbeBatch::~TSourceProbeBatch() {
    Cancel();
    // A worker may be waiting for the main thread (a log line): serve it until all have ended.
    std::unique_lock lock(FLock);
    while (FRunning > 0) {
        lock.unlock();
        ProcessPendingMessages();
        lock.lock();
        FEnded.wait_for(lock, std::chrono::milliseconds(5));
    }
    lock.unlock();
    for (std::thread& thread : FThreads)
        thread.join();
}

void TSourceProbeBatch::Run() {
    std::string libraryError;
    try {
        TFFDecoder prober;
        for (size_t index; !FCancel && (index = FNext.fetch_add(1)) < FTotal;) {
            TProbedRow row;
            row.Source = ProbeSource(prober, FPaths[index]);
            row.Thumbnail = SourceThumbnail(row.Source, FAudioPicture);
            // The full picture is not needed once the thumbnail is made.
            row.Source.Picture = TBitmap();
            Store(index, std::move(row));
        }
    } catch (const std::exception& e) {
        libraryError = e.what();
        if (libraryError.empty())
            libraryError = "error";
        FCancel = true;
    }
    End(libraryError);
}

void TSourceProbeBatch::Store(size_t index, TProbedRow row) {
    bool tell = false;
    {
        std::lock_guard lock(FLock);
        FSlots[index] = std::move(row);
        FDone.fetch_add(1);
        // Only a result that continues the taken ones can be handed over.
        tell = index == FTaken && !FNotified;
        FNotified = FNotified || tell;
    }
    if (tell)
        FNotify();
}

void TSourceProbeBatch::End(const std::string& libraryError) {
    {
        std::lock_guard lock(FLock);
        if (FLibraryError.empty())
            FLibraryError = libraryError;
        --FRunning;
    }
    FEnded.notify_all();
    FNotify();
}

std::vector<TProbedRow> TSourceProbeBatch::Take() {
    std::lock_guard lock(FLock);
    std::vector<TProbedRow> rows;
    for (; FTaken < FTotal && FSlots[FTaken]; ++FTaken) {
        rows.push_back(std::move(*FSlots[FTaken]));
        FSlots[FTaken].reset();
    }
    FNotified = false;
    return rows;
}

bool TSourceProbeBatch::Finished() const {
    std::lock_guard lock(FLock);
    return FRunning == 0;
}

std::string TSourceProbeBatch::LibraryError() const {
    std::lock_guard lock(FLock);
    return FLibraryError;
}
