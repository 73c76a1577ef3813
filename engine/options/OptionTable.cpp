// The option table: every name the engine knows itself, with its handler. Names outside the
// table go to the library option store.
#include <string_view>
#include <unordered_map>

#include "FFmpeg.h"
#include "OptionHandlers.h"
#include "OptionValues.h"

namespace {

using S = TOptionState;

// Handlers that store the value of one kind in one field.
template <auto Field> void Flag(TCustomFFmpeg& t, const std::string&, const std::string& v) {
    t.*Field = OptionFlag(v);
}
template <auto Field> void Int(TCustomFFmpeg& t, const std::string&, const std::string& v) {
    t.*Field = OptionInt(v);
}
template <auto Field> void Int64(TCustomFFmpeg& t, const std::string&, const std::string& v) {
    t.*Field = OptionInt64(v);
}
template <auto Field> void Float(TCustomFFmpeg& t, const std::string&, const std::string& v) {
    t.*Field = OptionFloat(v);
}
template <auto Field> void Text(TCustomFFmpeg& t, const std::string&, const std::string& v) {
    t.*Field = v;
}
template <auto Field>
void Duration(TCustomFFmpeg& t, const std::string& name, const std::string& v) {
    t.*Field = OptionDuration(name, v);
}
template <int Index> void Frames(TCustomFFmpeg& t, const std::string&, const std::string& v) {
    t.MaxFrames[Index] = OptionInt(v);
}

using H = TOptionHandlers;

struct TOptionRow {
    std::string_view Name;
    TOptionHandler Handler;
};

constexpr TOptionRow OptionTable[] = {
    // Informational and ignored names.
    {"L", H::DoNothing},
    {"h", H::DoNothing},
    {"version", H::DoNothing},
    {"formats", H::DoNothing},
    {"codecs", H::DoNothing},
    {"bsfs", H::DoNothing},
    {"protocols", H::DoNothing},
    {"filters", H::DoNothing},
    {"i", H::DoNothing},
    {"y", H::DoNothing},
    {"benchmark", H::DoNothing},
    {"timelimit", H::TimeLimit},
    {"loglevel", H::LogLevel},
    // Inputs, outputs and mapping.
    {"f", H::Format},
    {"ss", Duration<&S::StartTime>},
    {"t", H::RecordingTime},
    {"fs", Int64<&S::LimitFileSize>},
    {"itsoffset", Duration<&S::InputTsOffset>},
    {"itsscale", H::TsScale},
    {"timestamp", H::Timestamp},
    {"metadata", H::MetadataTag},
    {"programid", Int<&S::ProgramId>},
    {"loop_input", Flag<&S::LoopInput>},
    {"loop_output", Int<&S::LoopOutput>},
    {"re", Flag<&S::RateEmulation>},
    {"target", H::Target},
    {"map", H::Map},
    {"map_meta_data", H::MapMetadata},
    {"map_chapters", H::MapChapters},
    {"picture_comment", Flag<&S::PictureComment>},
    {"streamid", H::StreamId},
    {"muxdelay", Float<&S::MuxMaxDelay>},
    {"muxpreload", Float<&S::MuxPreload>},
    // Job-wide options.
    {"v", Int<&S::Verbose>},
    {"threads", H::Threads},
    {"vsync", Int<&S::VideoSyncMethod>},
    {"async", Int<&S::AudioSyncMethod>},
    {"adrift_threshold", Float<&S::AudioDriftThreshold>},
    {"vglobal", Int<&S::VideoGlobalHeader>},
    {"copyts", Flag<&S::CopyTs>},
    {"copytb", Flag<&S::CopyTb>},
    {"shortest", Flag<&S::Shortest>},
    {"dts_delta_threshold", Float<&S::DtsDeltaThreshold>},
    {"xerror", Flag<&S::ExitOnError>},
    {"copyinkf", Int<&S::CopyInitialNonKeyframes>},
    {"dump", Flag<&S::PacketDump>},
    {"hex", Flag<&S::HexDump>},
    {"isync", Flag<&S::InputSync>},
    {"psnr", Flag<&S::DoPsnr>},
    {"vstats", H::Vstats},
    {"vstats_file", Text<&S::VstatsFileName>},
    {"pass", H::Pass},
    {"passlogfile", Text<&S::PassLogFilePrefix>},
    {"vframes", Frames<MaxFramesVideo>},
    {"aframes", Frames<MaxFramesAudio>},
    {"dframes", Frames<MaxFramesData>},
    {"qphist", Flag<&S::QpHistogram>},
    {"vhook", H::VideoHook},
    // Video.
    {"b", H::BitRate},
    {"vb", H::BitRate},
    {"r", H::FrameRate},
    {"s", H::FrameSize},
    {"aspect", H::Aspect},
    {"pix_fmt", H::PixelFormat},
    {"croptop", H::RemovedCrop},
    {"cropbottom", H::RemovedCrop},
    {"cropleft", H::RemovedCrop},
    {"cropright", H::RemovedCrop},
    {"padtop", H::RemovedPad},
    {"padbottom", H::RemovedPad},
    {"padleft", H::RemovedPad},
    {"padright", H::RemovedPad},
    {"padcolor", H::RemovedPad},
    {"intra", Flag<&S::IntraOnly>},
    {"vn", Flag<&S::VideoDisable>},
    {"vdt", Int<&S::VideoDiscard>},
    {"qscale", H::QScale},
    {"rc_override", Text<&S::VideoRcOverride>},
    {"vcodec", H::Codec},
    {"me_threshold", Int<&S::MeThreshold>},
    {"sameq", Flag<&S::SameQuality>},
    {"deinterlace", Flag<&S::Deinterlace>},
    {"vfilters", H::VideoFilters},
    {"vf", H::VideoFilters},
    {"intra_matrix", H::Matrix},
    {"inter_matrix", H::Matrix},
    {"top", Int<&S::TopFieldFirst>},
    {"dc", Int<&S::IntraDcPrecision>},
    {"vtag", H::Tag},
    {"newvideo", H::NewStream},
    {"vlang", Text<&S::VideoLanguage>},
    {"force_fps", Flag<&S::ForceFps>},
    {"force_key_frames", Text<&S::ForcedKeyFrames>},
    {"vc", Int<&S::VideoChannel>},
    {"tvstd", Text<&S::VideoStandard>},
    {"vbsf", H::BitstreamFilter},
    {"vpre", H::Preset},
    // Audio.
    {"ab", H::BitRate},
    {"aq", Float<&S::AudioQScale>},
    {"ar", H::SampleRate},
    {"ac", H::Channels},
    {"an", Flag<&S::AudioDisable>},
    {"acodec", H::Codec},
    {"atag", H::Tag},
    {"vol", Int<&S::AudioVolume>},
    {"dither_method", H::DitherMethod},
    {"lfe_mix_level", Float<&S::AudioLfeMixLevel>},
    {"newaudio", H::NewStream},
    {"alang", Text<&S::AudioLanguage>},
    {"sample_fmt", H::SampleFormat},
    {"absf", H::BitstreamFilter},
    {"apre", H::Preset},
    // Subtitles and presets.
    {"sn", Flag<&S::SubtitleDisable>},
    {"scodec", H::Codec},
    {"newsubtitle", H::NewStream},
    {"slang", Text<&S::SubtitleLanguage>},
    {"stag", H::Tag},
    {"sbsf", H::BitstreamFilter},
    {"spre", H::Preset},
    {"fpre", H::Preset},
};

} // namespace

TOptionHandler FindOptionHandler(const std::string& name) {
    static const auto byName = [] {
        std::unordered_map<std::string_view, TOptionHandler> map;
        for (const TOptionRow& row : OptionTable)
            map.emplace(row.Name, row.Handler);
        return map;
    }();
    const auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
}

void TCustomFFmpeg::ParseOption(const std::string& name, const std::string& value) {
    if (TOptionHandler handler = FindOptionHandler(name)) {
        handler(*this, name, value);
        return;
    }
    if (!SetLibraryOption(name, value) && RaiseOptionErrors)
        throw FFmpegException(LastOptionError);
}
