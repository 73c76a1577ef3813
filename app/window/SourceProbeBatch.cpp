#include "SourceProbeBatch.h"

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
                                     std::function<void()> notify)
    : FTotal(paths.size()), FAudioPicture(std::move(audioPicture)), FNotify(std::move(notify)) {
    FThread = std::thread([this, paths = std::move(paths)]() mutable { Run(std::move(paths)); });
}

TSourceProbeBatch::~TSourceProbeBatch() {
    Cancel();
    // The worker may be waiting for the main thread (a log line): serve it until it ends.
    std::unique_lock lock(FLock);
    while (!FFinished) {
        lock.unlock();
        ProcessPendingMessages();
        lock.lock();
        FEnded.wait_for(lock, std::chrono::milliseconds(5));
    }
    lock.unlock();
    FThread.join();
}

void TSourceProbeBatch::Run(std::vector<std::string> paths) {
    std::string libraryError;
    try {
        TFFDecoder prober;
        for (const std::string& path : paths) {
            if (FCancel)
                break;
            TProbedRow row;
            row.Source = ProbeSource(prober, path);
            row.Thumbnail = SourceThumbnail(row.Source, FAudioPicture);
            // The full picture is not needed once the thumbnail is made.
            row.Source.Picture = TBitmap();
            Push(std::move(row));
        }
    } catch (const std::exception& e) {
        libraryError = e.what();
        if (libraryError.empty())
            libraryError = "error";
    }
    End(libraryError);
}

void TSourceProbeBatch::Push(TProbedRow row) {
    bool tell = false;
    {
        std::lock_guard lock(FLock);
        FQueue.push_back(std::move(row));
        FDone.fetch_add(1);
        tell = !FNotified;
        FNotified = true;
    }
    if (tell)
        FNotify();
}

void TSourceProbeBatch::End(const std::string& libraryError) {
    {
        std::lock_guard lock(FLock);
        FLibraryError = libraryError;
        FFinished = true;
    }
    FEnded.notify_all();
    FNotify();
}

std::vector<TProbedRow> TSourceProbeBatch::Take() {
    std::lock_guard lock(FLock);
    std::vector<TProbedRow> rows(std::make_move_iterator(FQueue.begin()),
                                 std::make_move_iterator(FQueue.end()));
    FQueue.clear();
    FNotified = false;
    return rows;
}

bool TSourceProbeBatch::Finished() const {
    std::lock_guard lock(FLock);
    return FFinished;
}

std::string TSourceProbeBatch::LibraryError() const {
    std::lock_guard lock(FLock);
    return FLibraryError;
}
