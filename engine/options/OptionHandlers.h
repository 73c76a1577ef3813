// The handlers of the option table. Each takes the task, the option name and its value and
// applies the option or raises.
#pragma once

#include <string>

class TCustomFFmpeg;

using TOptionHandler = void (*)(TCustomFFmpeg& task, const std::string& name,
                                const std::string& value);

struct TOptionHandlers {
    // Informational and ignored names.
    static void DoNothing(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void TimeLimit(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void LogLevel(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    // Inputs, outputs and mapping.
    static void Format(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void RecordingTime(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void Timestamp(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void TsScale(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void MetadataTag(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void Target(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void Map(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void MapMetadata(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void MapChapters(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void StreamId(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    // Job-wide.
    static void Threads(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void Vstats(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void Pass(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void VideoHook(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    // Video.
    static void BitRate(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void FrameRate(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void FrameSize(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void Aspect(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void PixelFormat(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void RemovedCrop(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void RemovedPad(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void QScale(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void VideoFilters(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void Matrix(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    // Audio.
    static void SampleRate(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void Channels(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void SampleFormat(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void DitherMethod(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    // Any kind.
    static void Codec(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void Tag(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void NewStream(TCustomFFmpeg& t, const std::string& name, const std::string& value);
    static void BitstreamFilter(TCustomFFmpeg& t, const std::string& name,
                                const std::string& value);
    static void Preset(TCustomFFmpeg& t, const std::string& name, const std::string& value);
};

// The handler of a name of the option table, or null for a name outside it.
TOptionHandler FindOptionHandler(const std::string& name);
