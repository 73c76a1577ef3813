#include "FileReport.h"

#include <cmath>
#include <cstdio>
#include <limits>

extern "C" {
#include <libavformat/avformat.h>
}

#include "JsonText.h"
#include "SourceProbe.h"

namespace {

// A tag's text on one line.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

std::string PictureText(const TAttachedPictureInfo& picture) {
    std::string text = picture.CodecName;
    if (picture.Width > 0 && picture.Height > 0)
        text += " " + std::to_string(picture.Width) + "x" + std::to_string(picture.Height);
    return text + ", " + ReadableFileSize(picture.Size);
}

// The texts a container gives about a picture, by the names they have there.
const struct {
    const char* Key;
    std::string TAttachedPictureInfo::*Text;
} PictureTexts[] = {
    {"comment", &TAttachedPictureInfo::Comment},
    {"title", &TAttachedPictureInfo::Title},
    {"filename", &TAttachedPictureInfo::FileName},
};

std::string PictureJson(const TAttachedPictureInfo& p) {
    TJsonObject object;
    object.Text("codec", p.CodecName)
        .Number("width", p.Width, p.Width > 0)
        .Number("height", p.Height, p.Height > 0)
        .Number("size", p.Size, p.Size >= 0);
    for (const auto& text : PictureTexts)
        if (!(p.*text.Text).empty())
            object.Text(text.Key, p.*text.Text);
    return object.Str();
}

double Decibels(double linear) {
    return linear > 0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

std::vector<std::string> LoudnessLines(const TLoudness& l) {
    char text[160];
    std::snprintf(text, sizeof text, "Loudness: %.1f LUFS, range %.1f LU, true peak %.1f dBTP",
                  l.IntegratedLufs, l.RangeLu, Decibels(l.TruePeak));
    std::vector<std::string> lines = {text};
    if (std::isfinite(l.IntegratedLufs))
        lines.push_back("ReplayGain: " + ReplayGainText(l.IntegratedLufs) + ", peak " +
                        ReplayPeakText(l.TruePeak) +
                        "; R128: " + std::to_string(R128GainValue(l.IntegratedLufs)));
    return lines;
}

std::string LoudnessJson(const TLoudness& l) {
    const bool known = std::isfinite(l.IntegratedLufs);
    return TJsonObject()
        .Real("integrated_lufs", l.IntegratedLufs, known)
        .Real("range_lu", l.RangeLu)
        .Real("true_peak_dbtp", Decibels(l.TruePeak), l.TruePeak > 0)
        .Real("sample_peak", l.SamplePeak)
        .Real("replaygain_track_gain", -18.0 - l.IntegratedLufs, known)
        .Real("replaygain_track_peak", l.TruePeak)
        .Number("r128_track_gain", known ? R128GainValue(l.IntegratedLufs) : 0, known)
        .Str();
}

std::string PicturesJson(const std::vector<TAttachedPictureInfo>& pictures) {
    std::string array = "[";
    for (const TAttachedPictureInfo& picture : pictures)
        array += (array.size() > 1 ? "," : "") + PictureJson(picture);
    return array + "]";
}

std::string TagsJson(const std::vector<TFileTag>& tags) {
    TJsonObject object;
    for (const TFileTag& tag : tags)
        object.Text(tag.Key, tag.Value);
    return object.Str();
}

std::string VocabularyJson(const TTagList& tags) {
    TJsonObject object;
    for (const TTagEntry& tag : tags) {
        if (tag.Values.size() == 1) {
            object.Text(tag.Name, tag.Values.front());
            continue;
        }
        std::string array = "[";
        for (const std::string& value : tag.Values)
            array += (array.size() > 1 ? "," : "") + JsonString(value);
        object.Raw(tag.Name, array + "]");
    }
    return object.Str();
}

std::string NamesJson(const std::vector<std::string>& names) {
    std::string array = "[";
    for (const std::string& name : names)
        array += (array.size() > 1 ? "," : "") + JsonString(name);
    return array + "]";
}

// The bits of the first audio stream's samples as its codec keeps them (FLAC and PCM); -1 for
// a lossy codec, whose decoder makes floats of any precision.
int BitsPerSampleOf(TFFDecoder& prober) {
    const AVFormatContext* ctx = prober.FormatContext();
    const int audio = prober.FirstAudioStreamIndex();
    if (ctx == nullptr || audio < 0 || audio >= static_cast<int>(ctx->nb_streams))
        return -1;
    const AVCodecParameters* codec = ctx->streams[audio]->codecpar;
    if (codec->bits_per_raw_sample > 0)
        return codec->bits_per_raw_sample;
    // The PCM codecs' ids lie below the first ADPCM one; their samples are as coded.
    const bool pcm =
        codec->codec_id >= AV_CODEC_ID_PCM_S16LE && codec->codec_id < AV_CODEC_ID_ADPCM_IMA_QT;
    return pcm && codec->bits_per_coded_sample > 0 ? codec->bits_per_coded_sample : -1;
}

// A codec name, or null for a stream the file lacks.
std::string CodecJson(const std::string& name) {
    return name.empty() ? "null" : JsonString(name);
}

} // namespace

TFileReport ReadFileReport(TFFDecoder& prober) {
    TFileReport report;
    report.Facts = ReadSourceFacts(prober);
    report.Container = prober.ContainerName();
    report.ContainerLongName = prober.ContainerLongName();
    report.Tags = prober.Tags();
    report.Vocabulary = ReadTagList(prober);
    report.BitsPerSample = BitsPerSampleOf(prober);
    report.Pictures = prober.AttachedPictures();
    return report;
}

std::vector<std::string> FileReportLines(const TFileReport& report) {
    TSourceRowTexts row = SourceRowTexts(report.Facts);
    // The list's own column counts bytes as "M"; a reader wants the size itself.
    row.FileSize = "File size: " + ReadableFileSize(report.Facts.FileSize);
    std::vector<std::string> lines = {row.Duration,     row.Bitrate,       row.Dimension,
                                      row.VideoEncoder, row.AudioChannels, row.AudioSampleRate,
                                      row.FrameRate,    row.FileSize};
    std::string container = "Container: " + report.Container;
    if (!report.ContainerLongName.empty())
        container += " (" + report.ContainerLongName + ")";
    lines.push_back(container);
    if (report.Pictures.empty())
        lines.push_back("Cover art: none");
    for (const TAttachedPictureInfo& picture : report.Pictures) {
        lines.push_back("Cover art: " + PictureText(picture));
        for (const auto& text : PictureTexts)
            if (!(picture.*text.Text).empty())
                lines.push_back(std::string("  ") + text.Key + ": " + OneLine(picture.*text.Text));
    }
    if (report.Tags.empty()) {
        lines.push_back("Tags: none");
    } else {
        lines.push_back("Tags:");
        for (const TFileTag& tag : report.Tags)
            lines.push_back("  " + OneLine(tag.Key) + ": " + OneLine(tag.Value));
    }
    if (report.Loudness.Measured)
        for (std::string& line : LoudnessLines(report.Loudness))
            lines.push_back(std::move(line));
    return lines;
}

std::string FileReportJson(const std::string& path, const TFileReport& report) {
    const TSourceFacts& f = report.Facts;
    const bool rateKnown = f.FrameRateDen > 0 && f.FrameRateNum >= 0;
    TJsonObject object;
    object.Text("path", path)
        .Text("container", report.Container)
        .Text("container_name", report.ContainerLongName)
        .Number("duration_us", f.Duration, f.Duration >= 0)
        .Raw("duration", f.Duration >= 0 ? JsonString(FormatDurationUs(f.Duration)) : "null")
        .Number("file_size", f.FileSize, f.FileSize >= 0)
        .Raw("audio_codec", CodecJson(f.AudioCodecName))
        .Number("audio_bit_rate", f.AudioBitRate, f.AudioBitRate > 0)
        .Number("channels", f.Channels, f.Channels > 0)
        .Number("sample_rate", f.SampleRate, f.SampleRate > 0)
        .Raw("video_codec", CodecJson(f.VideoCodecName))
        .Real("frame_rate", rateKnown ? static_cast<double>(f.FrameRateNum) / f.FrameRateDen : 0,
              rateKnown)
        .Number("bits_per_sample", report.BitsPerSample, report.BitsPerSample > 0)
        .Raw("tags", VocabularyJson(report.Vocabulary))
        .Raw("raw_tags", TagsJson(report.Tags));
    if (report.HasDropped)
        object.Raw("dropped", NamesJson(report.Dropped));
    object.Raw("cover_art", report.Pictures.empty() ? "null" : PictureJson(report.Pictures.front()))
        .Raw("pictures", PicturesJson(report.Pictures));
    if (report.Loudness.Measured)
        object.Raw("loudness", LoudnessJson(report.Loudness));
    return object.Str();
}

std::string FileErrorJson(const std::string& path, const std::string& message) {
    return TJsonObject().Text("path", path).Text("error", message).Str();
}
