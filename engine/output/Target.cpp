// The target presets ("vcd", "svcd", "dvd", "dv", "dv50"): a whole group of options for a
// disc or camcorder format, by television norm.
#include <cmath>

#include "FFmpeg.h"
#include "log/FFLog.h"
#include "output/Output.h"

namespace {

enum class TNorm { Unknown, Pal, Ntsc, Film };

TNorm NormOfName(const std::string& name) {
    if (name == "pal")
        return TNorm::Pal;
    if (name == "ntsc")
        return TNorm::Ntsc;
    if (name == "film")
        return TNorm::Film;
    return TNorm::Unknown;
}

// The norm of a frame rate in thousandths of pictures per second.
TNorm NormOfRate(AVRational rate) {
    const long r = std::lround(rate.num * 1000.0 / rate.den);
    if (r == 25000)
        return TNorm::Pal;
    if (r == 23976 || r == 29970)
        return TNorm::Ntsc;
    return TNorm::Unknown;
}

enum class TTarget { Vcd, Svcd, Dvd, Dv, Dv50 };

bool TargetOfName(const std::string& type, TTarget& target) {
    static const struct {
        const char* Name;
        TTarget Target;
    } Targets[] = {{"vcd", TTarget::Vcd},
                   {"svcd", TTarget::Svcd},
                   {"dvd", TTarget::Dvd},
                   {"dv", TTarget::Dv},
                   {"dv50", TTarget::Dv50}};
    for (const auto& t : Targets)
        if (type == t.Name) {
            target = t.Target;
            return true;
        }
    return false;
}

} // namespace

void TCustomFFmpeg::ApplyTarget(const std::string& type, const std::string& norm,
                                const std::string& fallbackNorm) {
    TNorm n = NormOfName(norm);
    if (n == TNorm::Unknown) {
        if (FrameRate.den == 0)
            throw FFmpegException("frame_rate is invalid.");
        n = NormOfRate(FrameRate);
        // The video streams of the opened inputs, in order.
        for (size_t i = 0; n == TNorm::Unknown && i < InputFiles.size(); ++i) {
            AVFormatContext* input = InputFiles[i]->Container.get();
            for (unsigned s = 0; input != nullptr && n == TNorm::Unknown && s < input->nb_streams;
                 ++s) {
                AVStream* st = input->streams[s];
                if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
                    continue;
                const AVRational rate = ff::av_guess_frame_rate(input, st, nullptr);
                if (rate.num > 0 && rate.den > 0)
                    n = NormOfRate(rate);
            }
        }
        if (n != TNorm::Unknown) {
            if (Verbose > 0)
                FFLogger()->Log(this, llVerbose,
                                n == TNorm::Pal ? "Assuming PAL for target."
                                                : "Assuming NTSC for target.");
        } else {
            n = fallbackNorm == "film"   ? TNorm::Film
                : fallbackNorm == "ntsc" ? TNorm::Ntsc
                                         : TNorm::Pal;
        }
    }

    TTarget target;
    if (!TargetOfName(type, target))
        throw FFmpegException("Unknown target type");

    // NTSC and FILM share the NTSC sizes and GOP.
    const bool pal = n == TNorm::Pal;
    const char* rate = pal ? "25" : n == TNorm::Ntsc ? "30000/1001" : "24000/1001";
    auto library = [this](const char* name, const char* value) { SetLibraryOption(name, value); };
    auto assumeAspect = [this](const char* aspect, const char* message) {
        if (FrameAspectRatio != 0)
            return;
        ParseOption("aspect", aspect);
        FFLogger()->Log(this, llInfo, message);
    };

    switch (target) {
    case TTarget::Vcd:
        ParseOption("f", "vcd");
        ParseOption("vcodec", "mpeg1video");
        ParseOption("acodec", "mp2");
        ParseOption("s", pal ? "352x288" : "352x240");
        ParseOption("r", rate);
        library("g", pal ? "15" : "18");
        library("b", "1150000");
        library("maxrate", "1150000");
        library("minrate", "1150000");
        library("bufsize", "327680");
        library("ab", "224000");
        AudioSampleRate = 44100;
        AudioChannels = 2;
        library("packetsize", "2324");
        library("muxrate", "1411200");
        MuxPreload = 0.44f;
        assumeAspect("4:3", "Assuming 4:3 for aspect ratio");
        break;
    case TTarget::Svcd:
        ParseOption("f", "svcd");
        ParseOption("vcodec", "mpeg2video");
        ParseOption("acodec", "mp2");
        ParseOption("s", pal ? "480x576" : "480x480");
        ParseOption("r", rate);
        library("g", pal ? "15" : "18");
        library("b", "2040000");
        library("maxrate", "2516000");
        library("minrate", "0");
        library("bufsize", "1835008");
        // The scan-offset reservation is an option of the MPEG-2 encoder today.
        library("scan_offset", "1");
        library("ab", "224000");
        AudioSampleRate = 44100;
        if (AudioChannels == 1)
            AudioChannels = 2;
        library("packetsize", "2324");
        assumeAspect("4:3", "Assuming 4:3 for aspect ratio");
        break;
    case TTarget::Dvd:
        ParseOption("f", "dvd");
        ParseOption("vcodec", "mpeg2video");
        ParseOption("acodec", "ac3");
        ParseOption("s", pal ? "720x576" : "720x480");
        ParseOption("r", rate);
        library("g", pal ? "15" : "18");
        library("b", "6000000");
        library("maxrate", "9000000");
        library("minrate", "0");
        library("bufsize", "1835008");
        library("ab", "448000");
        AudioSampleRate = 48000;
        if (AudioChannels == 1)
            AudioChannels = 2;
        library("packetsize", "2048");
        library("muxrate", "10080000");
        assumeAspect("16:9", "Assuming 16:9 for aspect ratio");
        break;
    case TTarget::Dv:
    case TTarget::Dv50:
        ParseOption("f", "dv");
        ParseOption("s", pal ? "720x576" : "720x480");
        ParseOption("pix_fmt", target == TTarget::Dv50 ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
        ParseOption("r", rate);
        AudioSampleRate = 48000;
        AudioChannels = 2;
        break;
    }
}
