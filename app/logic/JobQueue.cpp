#include "JobQueue.h"

#include <utility>

#include "FFDecode.h"
#include "FFEncode.h"
#include "RunProgress.h"

TJobQueue::TJobQueue(TCustomEncoder& encoder, TJobSettings settings, TJobLog log)
    : encoder_(encoder), settings_(std::move(settings)), log_(std::move(log)) {}

void TJobQueue::Clear() {
    jobs_.clear();
    totalDurationUs_ = 0;
    claimed_.clear();
    lastError_.clear();
}

void TJobQueue::Log(const std::string& line) {
    if (log_)
        log_(line);
    else if (GlobalVars)
        GlobalVars->LogLines.push_back(line);
}

bool TJobQueue::Fail(const std::string& line) {
    lastError_ = line;
    Log(line);
    return false;
}

int TJobQueue::QueueJobs(const std::vector<std::string>& paths) {
    Clear();
    for (const std::string& path : paths)
        QueueSource(path);
    return static_cast<int>(jobs_.size());
}

bool TJobQueue::QueueSource(const std::string& path) {
    TFFDecoder& prober = encoder_.Decoder();
    if (!prober.LoadFile(path, ""))
        return Fail(FileLoadErrorPrefix + prober.LastErrMsg());
    TOutputOptions output;
    TInputOptions input;
    BuildOutputOptions(prober, settings_, claimed_, output);
    BuildInputOptions(prober, input);
    const bool added = AddJob(input, output);
    prober.CloseFile();
    return added;
}

bool TJobQueue::AddJob(const TInputOptions& input, const TOutputOptions& output) {
    const int task = encoder_.AddTask(input.FileName, input);
    if (task < 0)
        return Fail(AddingFileErrorPrefix + encoder_.LastErrMsg());
    if (!encoder_.SetOutputFile(task, output.FileName, output)) {
        encoder_.RemoveTask(task);
        return Fail(CannotConvertPrefix + encoder_.LastErrMsg());
    }
    TFileStreamInfo facts;
    encoder_.Decoder().GetFileStreamInfo(facts);
    TQueuedJob job;
    job.TaskIndex = task;
    job.SourcePath = input.FileName;
    job.OutputPath = output.FileName;
    job.DurationUs = facts.Duration;
    totalDurationUs_ = AddQueuedDuration(totalDurationUs_, facts.Duration);
    jobs_.push_back(job);
    claimed_.insert(output.FileName);
    Log(FileAddedLine);
    return true;
}
