// The encoder component's tasks, their list, and the thread that delivers terminations.
#include "FFEncode.h"

#include <chrono>

#include "MyUtils.h"
#include "log/FFLog.h"

// ---- TFFmpeg

std::atomic<int> TFFmpeg::instances_{0};

TFFmpeg::TFFmpeg(TCustomEncoder* owner, int capacity) : TCustomFFmpeg(capacity), owner_(owner) {
    ++instances_;
}

// The slots stay assigned (a worker may be inside one of them); without the owner link they
// forward nothing. The engine's destructor then stops the task and waits for its threads.
TFFmpeg::~TFFmpeg() {
    owner_ = nullptr;
    decoders_.clear();
    InputOptions.clear();
    OutputOptions.clear();
    DeferredInputs.clear();
    DeferredOutputs.clear();
    --instances_;
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
    TEntry entry;
    task->listIndex_ = static_cast<int>(entries_.size());
    entry.Task = std::shared_ptr<TFFmpeg>(std::move(task));
    entries_.push_back(std::move(entry));
    return static_cast<int>(entries_.size()) - 1;
}

int TFFmpegList::AddWaiting(std::unique_ptr<TWaitingJob> job) {
    std::lock_guard guard(mutex_);
    TEntry entry;
    entry.Job = std::move(job);
    entry.OpenedOnStart = true;
    entries_.push_back(std::move(entry));
    return static_cast<int>(entries_.size()) - 1;
}

TFFmpeg* TFFmpegList::Get(int index) const {
    return TaskAt(index).get();
}

std::shared_ptr<TFFmpeg> TFFmpegList::TaskAt(int index) const {
    std::lock_guard guard(mutex_);
    if (index < 0 || index >= static_cast<int>(entries_.size()))
        return nullptr;
    return entries_[static_cast<size_t>(index)].Task;
}

TWaitingJob* TFFmpegList::Waiting(int index) const {
    std::lock_guard guard(mutex_);
    if (index < 0 || index >= static_cast<int>(entries_.size()))
        return nullptr;
    return entries_[static_cast<size_t>(index)].Job.get();
}

std::unique_ptr<TWaitingJob> TFFmpegList::TakeWaiting(int index) {
    std::lock_guard guard(mutex_);
    if (index < 0 || index >= static_cast<int>(entries_.size()))
        return nullptr;
    return std::move(entries_[static_cast<size_t>(index)].Job);
}

void TFFmpegList::Place(int index, std::shared_ptr<TFFmpeg> task) {
    std::lock_guard guard(mutex_);
    if (index < 0 || index >= static_cast<int>(entries_.size()))
        return;
    task->listIndex_ = index;
    entries_[static_cast<size_t>(index)].Task = std::move(task);
}

// The task's last known place first: indexes change only while no run goes on.
int TFFmpegList::IndexOfLocked(const TCustomFFmpeg* task) const {
    if (task == nullptr)
        return -1;
    const auto* own = dynamic_cast<const TFFmpeg*>(task);
    if (own != nullptr && own->listIndex_ >= 0 &&
        own->listIndex_ < static_cast<int>(entries_.size()) &&
        entries_[static_cast<size_t>(own->listIndex_)].Task.get() == task)
        return own->listIndex_;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].Task.get() == task)
            return static_cast<int>(i);
    return -1;
}

int TFFmpegList::IndexOf(const TCustomFFmpeg* task) const {
    std::lock_guard guard(mutex_);
    return IndexOfLocked(task);
}

int TFFmpegList::Count() const {
    std::lock_guard guard(mutex_);
    return static_cast<int>(entries_.size());
}

int TFFmpegList::EngineTaskCount() const {
    std::lock_guard guard(mutex_);
    int count = 0;
    for (const TEntry& entry : entries_)
        count += entry.Task ? 1 : 0;
    return count;
}

// The job is freed outside the lock: a task's destructor waits for its threads, which look the
// task up in the list while they report. The indexes above it move down.
bool TFFmpegList::Delete(int index) {
    TEntry removed;
    {
        std::lock_guard guard(mutex_);
        if (index < 0 || index >= static_cast<int>(entries_.size()))
            return false;
        removed = std::move(entries_[static_cast<size_t>(index)]);
        entries_.erase(entries_.begin() + index);
        std::vector<int> kept;
        for (int ended : ended_)
            if (ended != index)
                kept.push_back(ended > index ? ended - 1 : ended);
        ended_.swap(kept);
    }
    return true;
}

void TFFmpegList::Clear() {
    std::vector<TEntry> removed;
    {
        std::lock_guard guard(mutex_);
        removed.swap(entries_);
        ended_.clear();
    }
    // In list order, as the jobs were added.
    for (TEntry& entry : removed) {
        entry.Task.reset();
        entry.Job.reset();
    }
    std::unique_lock lock(mutex_);
    while (reaping_ > 0) {
        if (IsMainThread()) {
            // The worker a reaped task waits for may be waiting for the main thread.
            lock.unlock();
            ProcessPendingMessages();
            lock.lock();
            reaped_.wait_for(lock, std::chrono::milliseconds(5));
        } else {
            reaped_.wait(lock);
        }
    }
}

TFFmpegList::TEnd TFFmpegList::MarkEnded(const TCustomFFmpeg* task) {
    std::lock_guard guard(mutex_);
    const int index = IndexOfLocked(task);
    if (index < 0)
        return {};
    TEntry& entry = entries_[static_cast<size_t>(index)];
    if (entry.Ended)
        return {};
    entry.Ended = true;
    return {index, entry.OpenedOnStart};
}

void TFFmpegList::Retire(int index) {
    std::lock_guard guard(mutex_);
    if (index >= 0 && index < static_cast<int>(entries_.size()) &&
        entries_[static_cast<size_t>(index)].OpenedOnStart)
        ended_.push_back(index);
}

void TFFmpegList::ReapEnded() {
    std::vector<std::shared_ptr<TFFmpeg>> reaped;
    {
        std::lock_guard guard(mutex_);
        for (int index : ended_)
            if (index >= 0 && index < static_cast<int>(entries_.size()))
                if (auto& task = entries_[static_cast<size_t>(index)].Task)
                    reaped.push_back(std::move(task));
        ended_.clear();
        reaping_ += static_cast<int>(reaped.size());
    }
    if (reaped.empty())
        return;
    const int count = static_cast<int>(reaped.size());
    reaped.clear();
    {
        std::lock_guard guard(mutex_);
        reaping_ -= count;
    }
    reaped_.notify_all();
}

std::vector<std::shared_ptr<TFFmpeg>> TFFmpegList::Snapshot() const {
    std::lock_guard guard(mutex_);
    std::vector<std::shared_ptr<TFFmpeg>> tasks;
    for (const TEntry& entry : entries_)
        if (entry.Task)
            tasks.push_back(entry.Task);
    return tasks;
}

void TFFmpegList::CancelAll(bool wait,
                            const std::function<void(std::vector<TCancelledJob>&)>& endWaiting) {
    // Each listed job, in order: its task, or the record of a job that never started.
    struct TItem {
        std::shared_ptr<TFFmpeg> Task;
        TCancelledJob Waiting;
    };
    std::vector<TItem> items;
    {
        std::lock_guard guard(mutex_);
        for (size_t i = 0; i < entries_.size(); ++i) {
            TEntry& entry = entries_[i];
            if (entry.Task) {
                items.push_back({entry.Task, {}});
            } else if (entry.Job && endWaiting) {
                entry.Ended = true;
                items.push_back({nullptr, {static_cast<int>(i), std::move(entry.Job)}});
            }
        }
    }
    std::vector<TCancelledJob> waiting;
    auto flush = [&] {
        if (!waiting.empty())
            endWaiting(waiting);
        waiting.clear();
    };
    for (TItem& item : items) {
        if (item.Task) {
            flush();
            item.Task->Cancel(wait);
        } else {
            waiting.push_back(std::move(item.Waiting));
        }
    }
    flush();
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

TTerminateDelivery::TTerminateDelivery(std::function<void(const TTerminateInfo&)> deliver,
                                       std::function<void()> tidy)
    : deliver_(std::move(deliver)), tidy_(std::move(tidy)) {}

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
void TTerminateDelivery::Push(std::optional<TTerminateInfo> info) {
    {
        std::lock_guard guard(mutex_);
        if (quit_)
            return;
        queue_.push_back(std::move(info));
        if (!thread_.joinable())
            thread_ = std::thread([this] { Body(); });
    }
    wake_.notify_all();
}

void TTerminateDelivery::Body() {
    for (;;) {
        std::optional<TTerminateInfo> info;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (quit_)
                return;
            info = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            if (info)
                deliver_(*info);
            if (tidy_)
                tidy_();
        } catch (const std::exception& e) {
            FFLogger()->Log(this, llError, e.what());
        } catch (...) {
            FFLogger()->Log(this, llError, "Unknown exception");
        }
    }
}
