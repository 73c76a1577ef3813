// The encoder component's tasks, their list, and the thread that delivers terminations.
#include "FFEncode.h"

#include "log/FFLog.h"

// ---- TFFmpeg

TFFmpeg::TFFmpeg(TCustomEncoder* owner, int capacity) : TCustomFFmpeg(capacity), owner_(owner) {}

// The slots stay assigned (a worker may be inside one of them); without the owner link they
// forward nothing. The engine's destructor then stops the task and waits for its threads.
TFFmpeg::~TFFmpeg() {
    owner_ = nullptr;
    decoders_.clear();
    InputOptions.clear();
    OutputOptions.clear();
    DeferredInputs.clear();
    DeferredOutputs.clear();
}

TFFDecoder* TFFmpeg::GetDecoder(int inputIndex) {
    if (inputIndex < 0 || inputIndex >= Capacity)
        return nullptr;
    if (static_cast<size_t>(inputIndex) >= decoders_.size())
        decoders_.resize(static_cast<size_t>(inputIndex) + 1);
    auto& decoder = decoders_[static_cast<size_t>(inputIndex)];
    if (!decoder)
        decoder = std::make_unique<TFFDecoder>();
    return decoder.get();
}

AVFormatContext* TFFmpeg::InputContainer(int inputIndex) const {
    if (inputIndex < 0 || inputIndex >= InputCount())
        return nullptr;
    return InputFiles[static_cast<size_t>(inputIndex)]->Container.get();
}

// ---- TFFmpegList

TFFmpegList::~TFFmpegList() {
    Clear();
}

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> task) {
    std::lock_guard guard(mutex_);
    tasks_.push_back(std::shared_ptr<TFFmpeg>(std::move(task)));
    return static_cast<int>(tasks_.size()) - 1;
}

TFFmpeg* TFFmpegList::Get(int index) const {
    std::lock_guard guard(mutex_);
    if (index < 0 || index >= static_cast<int>(tasks_.size()))
        return nullptr;
    return tasks_[static_cast<size_t>(index)].get();
}

int TFFmpegList::IndexOf(const TCustomFFmpeg* task) const {
    std::lock_guard guard(mutex_);
    for (size_t i = 0; i < tasks_.size(); ++i)
        if (tasks_[i].get() == task)
            return static_cast<int>(i);
    return -1;
}

int TFFmpegList::Count() const {
    std::lock_guard guard(mutex_);
    return static_cast<int>(tasks_.size());
}

// The task is freed outside the lock: its destructor waits for its threads, which look the
// task up in the list while they report.
bool TFFmpegList::Delete(int index) {
    std::shared_ptr<TFFmpeg> removed;
    {
        std::lock_guard guard(mutex_);
        if (index < 0 || index >= static_cast<int>(tasks_.size()))
            return false;
        removed = std::move(tasks_[static_cast<size_t>(index)]);
        tasks_.erase(tasks_.begin() + index);
    }
    removed.reset();
    return true;
}

void TFFmpegList::Clear() {
    std::vector<std::shared_ptr<TFFmpeg>> removed;
    {
        std::lock_guard guard(mutex_);
        removed.swap(tasks_);
    }
    // In list order, as the tasks were added.
    for (auto& task : removed)
        task.reset();
}

std::vector<std::shared_ptr<TFFmpeg>> TFFmpegList::Snapshot() const {
    std::lock_guard guard(mutex_);
    return tasks_;
}

void TFFmpegList::CancelAll(bool wait) {
    for (const auto& task : Snapshot())
        task->Cancel(wait);
}

void TFFmpegList::SetPreviewFlag(uint8_t bit, bool on) {
    for (const auto& task : Snapshot()) {
        std::lock_guard guard(PreviewLock);
        const uint8_t flags =
            on ? static_cast<uint8_t>(task->PreviewFlags | bit)
               : static_cast<uint8_t>(task->PreviewFlags & static_cast<uint8_t>(~bit));
        if (flags != task->PreviewFlags) {
            task->PreviewFlags = flags;
            task->PreviewFlagsChanged = true;
        }
    }
}

// ---- TTerminateDelivery

TTerminateDelivery::TTerminateDelivery(std::function<void(const TTerminateInfo&)> deliver)
    : deliver_(std::move(deliver)) {}

TTerminateDelivery::~TTerminateDelivery() {
    {
        std::lock_guard guard(mutex_);
        quit_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

// The thread starts with the first delivery and serves until the queue is freed.
void TTerminateDelivery::Push(const TTerminateInfo& info) {
    {
        std::lock_guard guard(mutex_);
        if (quit_)
            return;
        queue_.push_back(info);
        if (!thread_.joinable())
            thread_ = std::thread([this] { Body(); });
    }
    wake_.notify_all();
}

void TTerminateDelivery::Body() {
    for (;;) {
        TTerminateInfo info;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (quit_)
                return;
            info = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            deliver_(info);
        } catch (const std::exception& e) {
            FFLogger()->Log(this, llError, e.what());
        } catch (...) {
            FFLogger()->Log(this, llError, "Unknown exception");
        }
    }
}
