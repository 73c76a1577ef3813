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

namespace {

// Samples per channel a frame's buffer holds.
int SampleCapacity(const AVFrame* frame) {
    const AVSampleFormat format = static_cast<AVSampleFormat>(frame->format);
    const int bytes = ff::av_get_bytes_per_sample(format);
    const int perPlane = ff::av_sample_fmt_is_planar(format) ? 1 : frame->ch_layout.nb_channels;
    if (!frame->buf[0] || bytes <= 0 || perPlane <= 0)
        return 0;
    return frame->linesize[0] / (bytes * perPlane);
}

} // namespace

TFramePtr TEncodeThread::CopyOf(const AVFrame* frame) {
    // A frame with side data or metadata keeps its own buffers: the copy is a reference.
    if (frame->nb_side_data > 0 || frame->metadata || frame->opaque_ref || frame->hw_frames_ctx)
        return TFramePtr(ff::av_frame_clone(frame));
    // Otherwise the samples are copied into a frame the encoder thread gave back, so that
    // the run allocates no buffer per frame.
    TFramePtr copy;
    if (!spares_.empty()) {
        copy = std::move(spares_.back());
        spares_.pop_back();
    }
    int capacity = copy ? SampleCapacity(copy.get()) : 0;
    if (!EnsureAudioFrame(copy, capacity, static_cast<AVSampleFormat>(frame->format),
                          frame->ch_layout, frame->sample_rate, frame->nb_samples))
        return nullptr;
    copy->nb_samples = frame->nb_samples;
    if (ff::av_frame_copy_props(copy.get(), frame) < 0 || ff::av_frame_copy(copy.get(), frame) < 0)
        return nullptr;
    return copy;
}

void TEncodeThread::Push(const AVFrame* frame) {
    TFramePtr copy = CopyOf(frame);
    if (!copy)
        throw FFmpegException("Out of memory in do_audio_out");
    gatheredSamples_ += frame->nb_samples;
    gathering_.push_back(std::move(copy));
    if (gatheredSamples_ >= BatchSamples || gathering_.size() >= BatchFrames)
        HandOver();
}

void TEncodeThread::HandOver() {
    TBatch batch;
    batch.swap(gathering_);
    gatheredSamples_ = 0;
    gathering_.reserve(batch.size());
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return queue_.size() < QueueLength || ended_; });
    RethrowFailure();
    if (ended_)
        return;
    for (TFramePtr& spare : returned_)
        spares_.push_back(std::move(spare));
    returned_.clear();
    const bool wasEmpty = queue_.empty();
    queue_.push_back(std::move(batch));
    if (wasEmpty)
        changed_.notify_all(); // the encoder thread may wait for work
}

int64_t TEncodeThread::Finish() {
    if (!draining_) {
        draining_ = true;
        gathering_.push_back(nullptr);
        HandOver();
    }
    if (thread_.joinable())
        thread_.join();
    finished_ = true;
    gathering_.clear();
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
    bool drained = false;
    TBatch done; // frames the encoder let go of, for the run's thread to fill again
    while (!drained) {
        TBatch batch;
        {
            std::unique_lock guard(lock_);
            for (TFramePtr& frame : done)
                if (returned_.size() < SpareFrames)
                    returned_.push_back(std::move(frame));
            done.clear();
            changed_.wait(guard, [this] { return !queue_.empty() || aborting_; });
            if (aborting_)
                break;
            const bool wasFull = queue_.size() >= QueueLength;
            batch = std::move(queue_.front());
            queue_.pop_front();
            if (wasFull)
                changed_.notify_all(); // room for the run's thread
        }
        int64_t bytes = 0;
        try {
            for (TFramePtr& frame : batch) {
                drained = !frame;
                bytes += EncodeAudioFrameNow(task_, muxer_, ost_, frame.get());
                if (drained || aborting_.load())
                    break;
                if (ff::av_frame_is_writable(frame.get()))
                    done.push_back(std::move(frame));
            }
        } catch (...) {
            std::lock_guard guard(lock_);
            bytes_ += bytes;
            failure_ = std::current_exception();
            break;
        }
        std::lock_guard guard(lock_);
        bytes_ += bytes;
    }
    std::lock_guard guard(lock_);
    ended_ = true;
    queue_.clear();
    changed_.notify_all();
}
