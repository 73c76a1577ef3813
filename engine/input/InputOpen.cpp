// Opening one input file with the options pending in the task: the container format, the
// open under the I/O watchdog, program selection, stream information, the seek to the start
// time, the stream parameters read back into the options, and the record of the input.
#include "FFmpeg.h"
#include "TextUtils.h"
#include "binding/AVFormatStubs.h"
#include "binding/AVUtilStubs.h"
#include "files/MediaOpen.h"
#include "files/UnicodeProtocol.h"
#include "input/Input.h"
#include "log/FFLog.h"
#include "utils/FFUtils.h"

namespace {

// Keeps the task's I/O watchdog registered for the calling thread while it lives, so that no
// way out of the open (a failure, a raise from a handler) leaves it behind.
class TWatchdogScope {
public:
    explicit TWatchdogScope(TCustomFFmpeg& task) : task_(task) { task_.ArmIOWatchdog(); }
    ~TWatchdogScope() { Disarm(); }
    TWatchdogScope(const TWatchdogScope&) = delete;
    TWatchdogScope& operator=(const TWatchdogScope&) = delete;

    void Rearm() { task_.RearmIOWatchdog(); }
    void Disarm() {
        if (armed_)
            task_.DisarmIOWatchdog();
        armed_ = false;
    }

private:
    TCustomFFmpeg& task_;
    bool armed_ = true;
};

// Keeps only the streams of the program `programId`; false when the file has no such program.
bool SelectProgram(AVFormatContext* ic, int programId) {
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        ic->streams[i]->discard = AVDISCARD_ALL;
    bool found = false;
    for (unsigned i = 0; i < ic->nb_programs; ++i) {
        AVProgram* program = ic->programs[i];
        if (program->id != programId) {
            program->discard = AVDISCARD_ALL;
            continue;
        }
        found = true;
        for (unsigned j = 0; j < program->nb_stream_indexes; ++j)
            if (program->stream_index[j] < ic->nb_streams)
                ic->streams[program->stream_index[j]]->discard = AVDISCARD_DEFAULT;
    }
    return found;
}

// The capture settings that reach the demuxer as parameters. A demuxer without such a setting
// leaves its parameter unused: the option had no effect, and the user is told so once.
struct TCaptureParameter {
    const char* Key;
    const char* Option;
};
constexpr TCaptureParameter CaptureParameters[] = {{"channel", "vc"}, {"standard", "tvstd"}};

void WarnUnsupportedCaptureOptions(TCustomFFmpeg& task, const std::string& fileName,
                                   const AVFormatContext* ic, const AVDictionary* left) {
    for (const TCaptureParameter& parameter : CaptureParameters)
        if (ff::av_dict_get(left, parameter.Key, nullptr, 0) != nullptr)
            FFLogger()->Log(&task, llWarning,
                            FormatText("Option %s is not supported by input format %s (%s) and "
                                       "was ignored",
                                       parameter.Option, ic->iformat->name, fileName.c_str()));
}

} // namespace

bool TCustomFFmpeg::OpenInputFile(const std::string& fileName) {
    // The description given with ApplyInputOptions belongs to this input only.
    std::optional<TInputOptions> description = std::move(PendingInputOptions);
    PendingInputOptions.reset();

    // Every ordinary failure: the codec names and the capture channel are used up (the
    // watchdog is released by its scope).
    auto fail = [this] {
        VideoCodecName.reset();
        AudioCodecName.reset();
        SubtitleCodecName.reset();
        VideoChannel = 0;
        return false;
    };

    // The input table has Capacity slots.
    if (InputCount() >= Capacity) {
        LastError = FormatText("max input files %d reached", Capacity);
        return fail();
    }

    const AVInputFormat* format = nullptr;
    if (!ForcedFormat.empty()) {
        format = ff::av_find_input_format(ForcedFormat.c_str());
        if (format == nullptr)
            throw FFmpegException(FormatText("Unknown input format: \"%s\"", ForcedFormat.c_str()));
        ForcedFormat.clear();
    }

    TFormatContextPtr allocated(ff::avformat_alloc_context());
    if (!allocated)
        throw FFmpegException("avformat_alloc_context failed");

    // The parameters of raw and capture demuxers; a demuxer ignores the ones it does not know.
    TDictionaryPtr parameters;
    {
        AVDictionary* raw = nullptr;
        const int ret = BuildInputFormatParameters(*this, &raw);
        parameters.reset(raw);
        if (ret < 0)
            throw FFmpegException("av_dict_set failed");
    }

    if (OptionContext)
        ApplyLibraryOptions(allocated.get(), OptionContext->FormatContext.get(),
                            InputContainerMask);

    // Decoders forced by name: the demuxer gives their ids to the streams of that kind.
    AVCodecID videoID = AV_CODEC_ID_NONE;
    AVCodecID audioID = AV_CODEC_ID_NONE;
    AVCodecID subtitleID = AV_CODEC_ID_NONE;
    if (!FindCodecByName(VideoCodecName, AVMEDIA_TYPE_VIDEO, false, Strictness(AVMEDIA_TYPE_VIDEO),
                         videoID) ||
        !FindCodecByName(AudioCodecName, AVMEDIA_TYPE_AUDIO, false, Strictness(AVMEDIA_TYPE_AUDIO),
                         audioID) ||
        !FindCodecByName(SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, false,
                         Strictness(AVMEDIA_TYPE_SUBTITLE), subtitleID))
        return fail();
    allocated->video_codec_id = videoID;
    allocated->audio_codec_id = audioID;
    allocated->subtitle_codec_id = subtitleID;
    allocated->flags |= AVFMT_FLAG_NONBLOCK;

    const std::string url = FileNameToURL(fileName);
    TInputContextPtr container;
    int64_t timestamp = 0;
    {
        TWatchdogScope watchdog(*this);

        // The library frees the context when the open fails.
        AVFormatContext* ic = allocated.release();
        AVDictionary* raw = parameters.release();
        const int ret = OpenInputContext(&ic, url, format, &raw);
        parameters.reset(raw);
        if (ret < 0) {
            LastError = FormatErrorMessage(fileName, ret);
            return fail();
        }
        container.reset(ic);

        if (ProgramId != 0) {
            if (!SelectProgram(ic, ProgramId)) {
                LastError = "Specified program id not found";
                container.reset();
                return fail();
            }
            ProgramId = 0;
        }

        if (OnBeforeFindStreamInfo)
            OnBeforeFindStreamInfo(this, ic);

        watchdog.Rearm();
        if (ff::avformat_find_stream_info(ic, nullptr) < 0 && Verbose >= 0) {
            LastError = FormatText("%s: could not find codec parameters", fileName.c_str());
            FFLogger()->Log(this, llVerbose, LastError);
            container.reset();
            return fail();
        }
        // The library reports success for a file whose audio it could not make out (a text
        // file named like a FLAC file gets a stream of 0 channels at 0 Hz): nothing could be
        // decoded from it.
        if (!AudioParametersUsable(ic)) {
            LastError = FormatText("%s: could not find codec parameters", fileName.c_str());
            FFLogger()->Log(this, llError, LastError);
            container.reset();
            return fail();
        }

        timestamp = StartTime;
        if (ic->start_time != AV_NOPTS_VALUE)
            timestamp += ic->start_time;
        if (StartTime != 0) {
            watchdog.Rearm();
            if (ff::av_seek_frame(ic, -1, timestamp, AVSEEK_FLAG_BACKWARD) < 0 && Verbose > 0)
                FFLogger()->LogFmt(this, llVerbose, "%s: could not seek to position %0.3f",
                                   fileName.c_str(), static_cast<double>(timestamp) / 1000000);
            StartTime = 0;
        }
        watchdog.Disarm();
    }

    AVFormatContext* ic = container.get();
    auto file = std::make_unique<EngineInputFile>();
    std::vector<const AVCodec*> codecs;
    codecs.reserve(ic->nb_streams);
    file->Decoders.reserve(ic->nb_streams);
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVCodec* byName = nullptr;
        file->Decoders.push_back(PrepareInputStream(*this, ic->streams[i], byName));
        codecs.push_back(byName);
    }

    if (ic->duration != AV_NOPTS_VALUE && ic->duration > ExpectedDuration)
        ExpectedDuration = ic->duration;
    const int index = InputCount();
    file->TsOffset = CopyTs ? InputTsOffset : InputTsOffset - timestamp;
    if (static_cast<size_t>(index) < TsScales.size())
        file->TsScales = std::move(TsScales[static_cast<size_t>(index)]);
    if (description.has_value())
        file->Options = std::move(*description);
    file->FileName = fileName;
    // Looping is done by the run: the container has no such setting.
    file->Loop = LoopInput;
    WarnUnsupportedCaptureOptions(*this, fileName, ic, parameters.get());
    if (Verbose >= 0)
        ff::av_dump_format(ic, index, url.c_str(), 0);
    file->Container = std::move(container);
    InputFiles.push_back(std::move(file));
    InputCodecs.insert(InputCodecs.end(), codecs.begin(), codecs.end());

    VideoChannel = 0;
    VideoCodecName.reset();
    AudioCodecName.reset();
    SubtitleCodecName.reset();
    return true;
}
