#include "audio/Audio.h"

#include "FFmpeg.h"

TEncodeThread::TEncodeThread(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost)
    : task_(task), muxer_(muxer), ost_(ost) {
    thread_ = std::thread([this] { Work(); });
}

TEncodeThread::~TEncodeThread() {
    Abort();
}

void TEncodeThread::RethrowFailure() {
    if (failure_) {
        std::exception_ptr failure = failure_;
        failure_ = nullptr;
        std::rethrow_exception(failure);
    }
}

void TEncodeThread::Push(const AVFrame* frame) {
    TFramePtr copy(ff::av_frame_clone(frame));
    if (!copy)
        throw FFmpegException("Out of memory in do_audio_out");
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return queue_.size() < QueueLength || ended_; });
    RethrowFailure();
    if (ended_)
        return;
    queue_.push_back(std::move(copy));
    changed_.notify_all();
}

int64_t TEncodeThread::Finish() {
    {
        std::unique_lock guard(lock_);
        if (!draining_ && !ended_) {
            draining_ = true;
            queue_.push_back(nullptr);
            changed_.notify_all();
        }
    }
    if (thread_.joinable())
        thread_.join();
    finished_ = true;
    std::lock_guard guard(lock_);
    RethrowFailure();
    const int64_t bytes = bytes_;
    bytes_ = 0;
    return bytes;
}

void TEncodeThread::Abort() {
    {
        std::lock_guard guard(lock_);
        aborting_ = true;
        queue_.clear();
        changed_.notify_all();
    }
    if (thread_.joinable())
        thread_.join();
    finished_ = true;
}

void TEncodeThread::Work() {
    for (;;) {
        TFramePtr frame;
        {
            std::unique_lock guard(lock_);
            changed_.wait(guard, [this] { return !queue_.empty() || aborting_; });
            if (aborting_)
                break;
            frame = std::move(queue_.front());
            queue_.pop_front();
            changed_.notify_all(); // room for the run's thread
        }
        const bool drain = !frame;
        try {
            const int64_t bytes = EncodeAudioFrameNow(task_, muxer_, ost_, frame.get());
            std::lock_guard guard(lock_);
            bytes_ += bytes;
        } catch (...) {
            std::lock_guard guard(lock_);
            failure_ = std::current_exception();
            break;
        }
        if (drain)
            break;
    }
    std::lock_guard guard(lock_);
    ended_ = true;
    queue_.clear();
    changed_.notify_all();
}
