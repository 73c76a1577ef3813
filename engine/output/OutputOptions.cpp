// Applying the application's description of an output (TOutputOptions) to a task, in a fixed
// order, and creating the output with its extra streams.
#include <cmath>
#include <ctime>
#include <map>

#include "FFmpeg.h"
#include "options/OptionLines.h"
#include "output/Output.h"

namespace {

constexpr double SecondsPerDay = 86400;
// Days from 30 December 1899 to 1 January 1970.
constexpr double UnixEpochDays = 25569;

// The names whose ExtOptions lines give defaults (and entries for the extra streams).
const char* const DefaultNames[] = {"acodec", "vcodec", "scodec", "apre",
                                    "vpre",   "spre",   "s",      "vf"};

bool IsDefaultName(const std::string& name) {
    for (const char* n : DefaultNames)
        if (name == n)
            return true;
    return false;
}

// ExtOptions lines that are not passed on as options: the extra streams and the defaults.
bool IsHeldBack(const std::string& name) {
    return name == "newvideo" || name == "newaudio" || name == "newsubtitle" ||
           name == "vfilters" || IsDefaultName(name);
}

std::string Decimal(int64_t value) {
    return std::to_string(value);
}

} // namespace

int64_t StreamInfoTimestampToUnix(double dateTime) {
    tzset();
    // The standard offset east of UTC, in days (timezone: seconds west, standard time).
    const double offsetDays = -static_cast<double>(timezone) / SecondsPerDay;
    if (dateTime == 0) {
        // Now, as the local clock shows it.
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tm local{};
        localtime_r(&now.tv_sec, &local);
        const double wall = static_cast<double>(timegm(&local)) + now.tv_nsec / 1e9;
        dateTime = wall / SecondsPerDay + UnixEpochDays;
    }
    return std::llround((dateTime - UnixEpochDays - offsetDays) * SecondsPerDay);
}

int TCustomFFmpeg::ApplyOutputOptions(const std::string& fileName, const TOutputOptions& options,
                                      const std::function<void(const TOutputOptions&)>& wireHooks) {
    auto copy = std::make_shared<TOutputOptions>(options);
    if (copy->FileName.empty())
        copy->FileName = fileName;
    OutputOptionsCopy = copy;
    const TOutputOptions& o = *copy;
    const std::vector<TOptionLine> lines = ParseOptionLines(o.ExtOptions);

    // The defaults: the record's fields, else the first ExtOptions line of the name. Every
    // such line is also kept for the extra streams.
    std::map<std::string, std::string> defaults = {
        {"acodec", o.AudioCodec}, {"vcodec", o.VideoCodec}, {"scodec", o.SubtitleCodec},
        {"apre", o.AudioPreset},  {"vpre", o.VideoPreset},  {"spre", o.SubtitlePreset},
        {"s", o.FrameSize},       {"vf", o.VideoFilters}};
    std::vector<TOptionLine> pending;
    for (const TOptionLine& line : lines) {
        const std::string name = line.Name == "vfilters" ? "vf" : line.Name;
        if (!IsDefaultName(name) || line.Value.empty())
            continue;
        if (defaults[name].empty())
            defaults[name] = line.Value;
        pending.push_back(TOptionLine{name, line.Value});
    }

    const bool targetApplied = o.TargetType >= 1 && o.TargetType <= 3;
    try {
        if (targetApplied) {
            static const char* const Types[] = {"", "vcd", "svcd", "dvd"};
            ApplyTarget(Types[o.TargetType],
                        o.NormType == 1   ? "pal"
                        : o.NormType == 2 ? "ntsc"
                                          : "auto",
                        o.NormDefault == 1 ? "pal" : "ntsc");
        }

        ApplyCodecName(AVMEDIA_TYPE_AUDIO, defaults["acodec"]);
        ApplyCodecName(AVMEDIA_TYPE_VIDEO, defaults["vcodec"]);
        ApplyCodecName(AVMEDIA_TYPE_SUBTITLE, defaults["scodec"]);
        ApplyPreset("apre", defaults["apre"]);
        ApplyPreset("vpre", defaults["vpre"]);
        ApplyPreset("spre", defaults["spre"]);

        for (const TOptionLine& line : lines)
            if (!IsHeldBack(line.Name))
                ParseOption(line.Name, line.Value);

        // The fields, in the record's order. Library options are offered; a refusal is
        // ignored.
        auto library = [this](const char* name, int64_t value, bool wanted) {
            if (wanted)
                SetLibraryOption(name, Decimal(value));
        };
        ParseOption("f", o.ForceFormat);
        library("packetsize", o.PacketSize, o.PacketSize > 0);
        library("muxrate", o.MuxRate, o.MuxRate > 0);
        if (o.MuxDelay > 0)
            MuxMaxDelay = o.MuxDelay;
        if (o.MuxPreload > 0)
            MuxPreload = o.MuxPreload;
        if (o.DisableAudio)
            AudioDisable = true;
        if (o.AudioVolume >= 0)
            AudioVolume = o.AudioVolume;
        if (o.AudioChannels > 0)
            AudioChannels = o.AudioChannels;
        if (o.AudioSampleRate > 0)
            AudioSampleRate = o.AudioSampleRate;
        // A target brings its own audio and video bit rates.
        library("ab", o.AudioBitrate, o.AudioBitrate > 0 && !targetApplied);
        library("abt", o.AudioBitrateTolerance, o.AudioBitrateTolerance > 0);
        AudioLanguage = o.AudioLanguage;
        AudioSyncMethod = o.AudioSyncMethod;
        SetCodecTag("atag", o.AudioTag);
        if (o.DisableVideo)
            VideoDisable = true;
        ParseOption("r", o.FrameRate);
        ParseOption("aspect", o.FrameAspectRatio);
        library("g", o.GopSize, o.GopSize > 0);
        library("vb", o.VideoBitrate, o.VideoBitrate > 0 && !targetApplied);
        library("maxrate", o.VideoMaxRate, o.VideoMaxRate > 0);
        library("minrate", o.VideoMinRate, o.VideoMinRate > 0);
        library("bt", o.VideoBitrateTolerance, o.VideoBitrateTolerance > 0);
        library("bufsize", o.VideoBufSize, o.VideoBufSize > 0);
        VideoSyncMethod = o.VideoSyncMethod;
        SetCodecTag("vtag", o.VideoTag);
        VideoLanguage = o.VideoLanguage;
        if (o.DisableSubtitle)
            SubtitleDisable = true;
        SubtitleLanguage = o.SubtitleLanguage;
        InputSync = o.InputSync;
        if (o.CopyTimestamps)
            CopyTs = true;
        if (o.StartTime != AV_NOPTS_VALUE)
            StartTime = o.StartTime;
        if (o.RecordingTime != AV_NOPTS_VALUE) {
            RecordingTime = o.RecordingTime;
            ExpectedDuration = o.RecordingTime;
        }
        const TStreamInfo& info = o.StreamInfo;
        if (info.Timestamp >= 0)
            RecordingTimestamp = StreamInfoTimestampToUnix(info.Timestamp);
        auto tag = [this](const char* key, const std::string& value) {
            if (!value.empty())
                SetDictionaryEntry(Metadata, key, value.c_str());
        };
        if (info.Year > 0)
            tag("year", Decimal(info.Year));
        if (info.Track > 0)
            tag("track", Decimal(info.Track));
        tag("title", info.Title);
        tag("author", info.Author);
        tag("copyright", info.Copyright);
        tag("comment", info.Comment);
        tag("album", info.Album);
        tag("genre", info.Genre);

        ParseOption("s", defaults["s"]);
        if (!defaults["vf"].empty())
            VideoFilters = defaults["vf"];

        if (wireHooks)
            wireHooks(o);
        HookConverter.SetBitsPixel(o.VideoHookBitsPixel);
        PreviewConverter.SetBitsPixel(o.VideoHookBitsPixel);
    } catch (...) {
        OutputOptionsCopy.reset();
        throw;
    }

    const int result = CreateOutputFile(fileName, o.Join);
    if (result < 0) {
        OutputOptionsCopy.reset();
        return result;
    }

    // The extra streams, each with the options of its kind not used by an earlier one.
    auto take = [&](const std::string& name) {
        for (auto it = pending.begin(); it != pending.end(); ++it)
            if (it->Name == name) {
                std::string value = it->Value;
                pending.erase(it);
                return value;
            }
        return defaults[name];
    };
    for (const TOptionLine& line : lines) {
        std::vector<const char*> kindOptions;
        if (line.Name == "newaudio")
            kindOptions = {"acodec", "apre"};
        else if (line.Name == "newvideo")
            kindOptions = {"vcodec", "vpre", "s", "vf"};
        else if (line.Name == "newsubtitle")
            kindOptions = {"scodec", "spre"};
        else
            continue;
        for (const char* name : kindOptions)
            ParseOption(name, take(name));
        ParseOption(line.Name, line.Value);
    }

    if (o.Join)
        JoinInputs();
    return OutputCount();
}
