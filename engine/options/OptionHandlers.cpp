// The handlers of the option table that do more than store one value.
#include "OptionHandlers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "FFmpeg.h"
#include "MyUtils.h"
#include "OptionValues.h"
#include "TextUtils.h"
#include "audio/Audio.h"
#include "binding/AVUtilStubs.h"
#include "log/FFLog.h"

namespace {

// FFmpeg refuses to add more streams than this to a container (its default max_streams), so
// a stream id for a higher output stream index could never apply.
constexpr int MaxOutputStreamIndex = 1000;

void Log(TCustomFFmpeg& t, TLogLevel level, const std::string& msg) {
    FFLogger()->Log(&t, level, msg);
}

// C integer conversion (decimal, "0x" hexadecimal, leading "0" octal) that moves p past the
// number; 0 when no number starts at p.
int ReadCInt(const char*& p) {
    char* end = nullptr;
    const long v = std::strtol(p, &end, 0);
    p = end;
    return static_cast<int>(v);
}

// The number at the start of the text, with "." as the decimal point; 0 when none.
double ReadCDouble(const char* p) {
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    double d = 0;
    std::from_chars(p, p + std::strlen(p), d, std::chars_format::general);
    return negative ? -d : d;
}

AVMediaType KindOf(const std::string& name) {
    switch (name.empty() ? '\0' : name[0]) {
    case 'v':
        return AVMEDIA_TYPE_VIDEO;
    case 'a':
        return AVMEDIA_TYPE_AUDIO;
    default:
        return AVMEDIA_TYPE_SUBTITLE;
    }
}

void ListPixelFormats(TCustomFFmpeg& t) {
    char buf[128];
    for (int code = -1; code < AV_PIX_FMT_NB; ++code)
        Log(t, llInfo, Trim(ff::av_get_pix_fmt_string(buf, sizeof buf, AVPixelFormat(code))));
}

void ListSampleFormats(TCustomFFmpeg& t) {
    char buf[128];
    for (int code = -1; code < AV_SAMPLE_FMT_NB; ++code)
        Log(t, llInfo, Trim(ff::av_get_sample_fmt_string(buf, sizeof buf, AVSampleFormat(code))));
}

// One side of a metadata map: file index, then ",g", ",s<n>", ",c<n>", ",p<n>" or nothing
// (global). The position ends after what was read, so that the character skipped before
// the input side is the separator.
TMetadataMapSide ReadMetadataSide(const char*& p) {
    TMetadataMapSide side;
    side.File = ReadCInt(p);
    if (*p != ',')
        return side;
    const char type = p[1];
    switch (type) {
    case 'g':
        p += 2;
        break;
    case 's':
    case 'c':
    case 'p':
        side.Type = type;
        p += 2;
        side.Index = ReadCInt(p);
        break;
    default:
        throw FFmpegException(
            FormatText("Invalid metadata type %s.", std::string(type ? 1 : 0, type).c_str()));
    }
    return side;
}

} // namespace

void TOptionHandlers::DoNothing(TCustomFFmpeg& t, const std::string& name, const std::string&) {
    Log(t, llInfo, "Do nothing: option - " + name);
}

void TOptionHandlers::TimeLimit(TCustomFFmpeg& t, const std::string&, const std::string&) {
    Log(t, llWarning, "Warning: -timelimit not implemented on Windows");
}

void TOptionHandlers::LogLevel(TCustomFFmpeg&, const std::string&, const std::string& value) {
    static const struct {
        const char* Word;
        int Level;
    } Words[] = {{"quiet", -8},   {"panic", 0}, {"fatal", 8},    {"error", 16},
                 {"warning", 24}, {"info", 32}, {"verbose", 40}, {"debug", 48}};
    for (const auto& w : Words) {
        if (SameText(value, w.Word)) {
            FFLogger()->SetLogLevel(LibraryToLogLevel(w.Level));
            return;
        }
    }
    FFLogger()->SetLogLevel(LibraryToLogLevel(OptionInt(value)));
}

void TOptionHandlers::Format(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    if (!value.empty())
        t.ForcedFormat = value;
}

void TOptionHandlers::RecordingTime(TCustomFFmpeg& t, const std::string& name,
                                    const std::string& value) {
    const int64_t us = OptionDuration(name, value);
    t.RecordingTime = us;
    t.ExpectedDuration = us;
}

void TOptionHandlers::Timestamp(TCustomFFmpeg& t, const std::string& name,
                                const std::string& value) {
    t.RecordingTimestamp = std::llround(static_cast<double>(OptionDate(name, value)) / 1000000.0);
}

void TOptionHandlers::TsScale(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    const char* p = value.c_str();
    char* end = nullptr;
    const long stream = std::strtol(p, &end, 0);
    p = end;
    if (*p != '\0')
        ++p;
    const double scale = ReadCDouble(p);
    if (stream < 0 || stream >= MaxStreams)
        throw FFmpegException(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
    const size_t slot = static_cast<size_t>(t.InputCount());
    if (t.TsScales.size() <= slot)
        t.TsScales.resize(slot + 1);
    std::vector<double>& scales = t.TsScales[slot];
    if (scales.size() < static_cast<size_t>(stream) + 1)
        scales.resize(static_cast<size_t>(stream) + 1, 0.0);
    scales[static_cast<size_t>(stream)] = scale;
}

void TOptionHandlers::MetadataTag(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    const size_t eq = value.find('=');
    if (eq == std::string::npos)
        throw FFmpegException("Missing =");
    const std::string key = value.substr(0, eq);
    if (key.empty())
        throw FFmpegException("wrong parameter of metadata");
    SetDictionaryEntry(t.Metadata, key.c_str(), value.c_str() + eq + 1);
}

void TOptionHandlers::Target(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    std::string type = Trim(value);
    std::string norm = "auto";
    for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
        const size_t n = std::strlen(prefix);
        if (type.compare(0, n, prefix) == 0) {
            norm.assign(prefix, n - 1);
            type.erase(0, n);
            break;
        }
    }
    t.ApplyTarget(type, norm, "ntsc");
}

void TOptionHandlers::Map(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    TStreamMap m;
    const char* p = value.c_str();
    m.FileIndex = ReadCInt(p);
    if (*p != '\0') {
        ++p;
        m.StreamIndex = ReadCInt(p);
    }
    if (*p != '\0') {
        ++p;
        m.SyncFileIndex = ReadCInt(p);
        if (*p != '\0')
            ++p;
        m.SyncStreamIndex = ReadCInt(p);
    } else {
        m.SyncFileIndex = m.FileIndex;
        m.SyncStreamIndex = m.StreamIndex;
    }
    t.StreamMaps.push_back(m);
}

void TOptionHandlers::MapMetadata(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    TMetadataMap m;
    const char* p = value.c_str();
    m.Out = ReadMetadataSide(p);
    if (*p != '\0')
        ++p;
    m.In = ReadMetadataSide(p);
    t.MetadataMaps.push_back(m);
    const auto either = [&m](char type) { return m.Out.Type == type || m.In.Type == type; };
    if (either('g'))
        t.MetadataGlobalAutoCopy = false;
    if (either('s'))
        t.MetadataStreamsAutoCopy = false;
    if (either('c'))
        t.MetadataChaptersAutoCopy = false;
}

void TOptionHandlers::MapChapters(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    TChapterMap m;
    const char* p = value.c_str();
    m.OutFile = ReadCInt(p);
    if (*p != '\0')
        ++p;
    m.InFile = ReadCInt(p);
    t.ChapterMaps.push_back(m);
}

void TOptionHandlers::StreamId(TCustomFFmpeg& t, const std::string& name,
                               const std::string& value) {
    const size_t colon = value.find(':');
    int index = -1;
    int id = 0;
    const bool valid = colon != std::string::npos && TryStrToInt(value.substr(0, colon), index) &&
                       TryStrToInt(value.substr(colon + 1), id) && index >= 0 &&
                       index < MaxOutputStreamIndex;
    if (!valid)
        throw FFmpegException(
            FormatText("Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"",
                       value.c_str(), name.c_str()));
    if (t.StreamIdMap.size() < static_cast<size_t>(index) + 1)
        t.StreamIdMap.resize(static_cast<size_t>(index) + 1, 0);
    t.StreamIdMap[static_cast<size_t>(index)] = id;
}

void TOptionHandlers::Threads(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    t.ThreadCount = OptionInt(value);
    t.ThreadCountGiven = true;
    if (t.Verbose >= 0)
        Log(t, llVerbose,
            "Warning: if the ffmpeg libraries were not compiled with thread support, it would "
            "be using thread emulation.");
}

void TOptionHandlers::Vstats(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    if (!OptionFlag(value)) {
        t.VstatsFileName.reset();
        return;
    }
    const time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    const std::string hhnnss =
        FormatText("%02d%02d%02d", local.tm_hour, local.tm_min, local.tm_sec);
    t.VstatsFileName = FormatText("%svstats_%s.log", ExecutableFolder().c_str(), hhnnss.c_str());
}

void TOptionHandlers::Pass(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    const int pass = OptionInt(value);
    if (pass != 1 && pass != 2)
        throw FFmpegException("pass number can be only 1 or 2");
    t.PassNumber = pass;
}

void TOptionHandlers::VideoHook(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    if (!t.FrameHooks.Add(SplitFrameHookWords(value)))
        throw FFmpegException("Failed to add video hook function: " + value);
    t.UsingVhook = true;
}

void TOptionHandlers::BitRate(TCustomFFmpeg& t, const std::string& name, const std::string& value) {
    if (!t.SetLibraryOption(name, value)) {
        if (t.RaiseOptionErrors)
            throw FFmpegException(LastOptionError);
        return;
    }
    AVCodecContext* ctx =
        t.OptionContext->CodecContexts[name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO]
            .get();
    int64_t bitRate = 0;
    if (ff::av_opt_get_int(ctx, "b", 0, &bitRate) >= 0 && bitRate < 1000)
        Log(t, llWarning,
            "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not "
            "kbits/s");
}

void TOptionHandlers::FrameRate(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    if (value.empty())
        return;
    AVRational rate{0, 0};
    if (ff::av_parse_video_rate(&rate, value.c_str()) < 0)
        throw FFmpegException("Incorrect frame rate");
    t.FrameRate = rate;
}

void TOptionHandlers::FrameSize(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    if (value.empty())
        return;
    int width = 0;
    int height = 0;
    if (ff::av_parse_video_size(&width, &height, value.c_str()) < 0)
        throw FFmpegException("Incorrect frame size");
    t.FrameWidth = width;
    t.FrameHeight = height;
}

void TOptionHandlers::Aspect(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    if (value.empty())
        return;
    double ratio = 0;
    const size_t colon = value.find(':');
    if (colon != std::string::npos) {
        int x = 0;
        int y = 0;
        if (!TryStrToInt(value.substr(0, colon), x))
            x = 0;
        if (!TryStrToInt(value.substr(colon + 1), y))
            y = 0;
        ratio = y > 0 ? static_cast<double>(x) / y : 0;
    } else {
        float f = 0;
        ratio = TryStrToFloat(value, LocaleDecimalSeparator(), f) ? f : 0;
    }
    if (static_cast<float>(ratio) == 0)
        throw FFmpegException("Incorrect aspect ratio specification.");
    t.FrameAspectRatio = static_cast<float>(ratio);
}

void TOptionHandlers::PixelFormat(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    if (value == "list") {
        ListPixelFormats(t);
        return;
    }
    const AVPixelFormat fmt = ff::av_get_pix_fmt(value.c_str());
    if (fmt == AV_PIX_FMT_NONE)
        throw FFmpegException(FormatText("Unknown pixel format requested: %s", value.c_str()));
    t.FramePixFmt = fmt;
}

void TOptionHandlers::RemovedCrop(TCustomFFmpeg&, const std::string&, const std::string&) {
    throw FFmpegException("Removed, use the crop filter instead");
}

void TOptionHandlers::RemovedPad(TCustomFFmpeg&, const std::string&, const std::string&) {
    throw FFmpegException("Removed, use the pad filter instead");
}

void TOptionHandlers::QScale(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    const float q = OptionFloat(value);
    if (q <= 0 || q > 255)
        throw FFmpegException("qscale must be > 0.0 and <= 255");
    t.VideoQScale = q;
}

void TOptionHandlers::VideoFilters(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    if (!value.empty())
        t.VideoFilters = value;
}

// 64 integers separated by ","; coefficient i is the number at the start of field i. The
// coefficients read before a syntax error stay in the matrix.
void TOptionHandlers::Matrix(TCustomFFmpeg& t, const std::string& name, const std::string& value) {
    std::unique_ptr<TQuantMatrix>& matrix = name == "intra_matrix" ? t.IntraMatrix : t.InterMatrix;
    if (!matrix)
        matrix = std::make_unique<TQuantMatrix>();
    matrix->fill(0);
    const char* p = value.c_str();
    for (int i = 0; i < 64; ++i) {
        (*matrix)[static_cast<size_t>(i)] = static_cast<uint16_t>(std::strtol(p, nullptr, 10));
        if (i == 63)
            break;
        p = std::strchr(p, ',');
        if (p == nullptr)
            throw FFmpegException(
                FormatText("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i));
        ++p;
    }
}

void TOptionHandlers::SampleRate(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    const int rate = OptionInt(value);
    if (rate > 0)
        t.AudioSampleRate = rate;
}

void TOptionHandlers::Channels(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    const int channels = OptionInt(value);
    if (channels > 0)
        t.AudioChannels = channels;
}

void TOptionHandlers::SampleFormat(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    if (value == "list") {
        ListSampleFormats(t);
        return;
    }
    const AVSampleFormat fmt = ff::av_get_sample_fmt(value.c_str());
    if (fmt == AV_SAMPLE_FMT_NONE)
        throw FFmpegException(FormatText("Invalid sample format \"%s\"", value.c_str()));
    t.AudioSampleFmt = fmt;
}

void TOptionHandlers::DitherMethod(TCustomFFmpeg& t, const std::string&, const std::string& value) {
    if (DitherMethodByName(value) < 0)
        throw FFmpegException(FormatText("Invalid dither method \"%s\"", value.c_str()));
    t.AudioDitherMethod = value;
}

void TOptionHandlers::Codec(TCustomFFmpeg& t, const std::string& name, const std::string& value) {
    t.ApplyCodecName(KindOf(name), value);
}

void TOptionHandlers::Tag(TCustomFFmpeg& t, const std::string& name, const std::string& value) {
    t.SetCodecTag(name, value);
}

void TOptionHandlers::NewStream(TCustomFFmpeg& t, const std::string& name, const std::string&) {
    t.AddStreamToLastOutput(name == "newvideo"   ? AVMEDIA_TYPE_VIDEO
                            : name == "newaudio" ? AVMEDIA_TYPE_AUDIO
                                                 : AVMEDIA_TYPE_SUBTITLE);
}

// The filter name is the value up to its first "="; the rest is ignored.
void TOptionHandlers::BitstreamFilter(TCustomFFmpeg& t, const std::string& name,
                                      const std::string& value) {
    if (value.empty() || value[0] == '=')
        return;
    const std::string filterName = value.substr(0, value.find('='));
    const AVBitStreamFilter* filter = ff::av_bsf_get_by_name(filterName.c_str());
    if (filter == nullptr)
        throw FFmpegException(FormatText("Unknown bitstream filter %s", Trim(value).c_str()));
    AVBSFContext* ctx = nullptr;
    if (ff::av_bsf_alloc(filter, &ctx) < 0)
        throw FFmpegException(
            FormatText("Could not allocate bitstream filter %s", filterName.c_str()));
    TBitstreamFilterChain& chain = name[0] == 'v'   ? t.VideoBitstreamFilters
                                   : name[0] == 'a' ? t.AudioBitstreamFilters
                                                    : t.SubtitleBitstreamFilters;
    chain.emplace_back(ctx);
}

void TOptionHandlers::Preset(TCustomFFmpeg& t, const std::string& name, const std::string& value) {
    t.ApplyPreset(name, value);
}

void TCustomFFmpeg::ApplyCodecName(AVMediaType kind, const std::string& value) {
    if (value.empty())
        return;
    std::optional<std::string>& codecName = kind == AVMEDIA_TYPE_VIDEO   ? VideoCodecName
                                            : kind == AVMEDIA_TYPE_AUDIO ? AudioCodecName
                                                                         : SubtitleCodecName;
    int& streamCopy = kind == AVMEDIA_TYPE_VIDEO   ? VideoStreamCopy
                      : kind == AVMEDIA_TYPE_AUDIO ? AudioStreamCopy
                                                   : SubtitleStreamCopy;
    codecName.reset();
    if (value == "copy")
        streamCopy = 1;
    else
        codecName = value;
}

// A whole number (decimal or hexadecimal) is the tag itself; four characters are read as the
// tag's bytes, the first one lowest.
void TCustomFFmpeg::SetCodecTag(const std::string& optionName, const std::string& value) {
    if (value.empty())
        return;
    uint32_t* tag = optionName == "atag"   ? &AudioCodecTag
                    : optionName == "vtag" ? &VideoCodecTag
                    : optionName == "stag" ? &SubtitleCodecTag
                                           : nullptr;
    if (tag == nullptr)
        throw FFmpegException(FormatText("Invalid tag parmeter %s", optionName.c_str()));
    int64_t number = 0;
    if (TryStrToInt64(value, number) && number >= INT32_MIN && number <= UINT32_MAX) {
        *tag = static_cast<uint32_t>(number);
        return;
    }
    if (value.size() != 4)
        throw EConvertError("tag parameter must be 4 chars or int value");
    *tag = 0;
    for (int i = 3; i >= 0; --i)
        *tag = (*tag << 8) | static_cast<uint8_t>(value[static_cast<size_t>(i)]);
}
