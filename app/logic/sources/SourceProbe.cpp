#include "SourceProbe.h"

#include "FFDecode.h"

TSourceFacts ReadSourceFacts(TFFDecoder& prober) {
    TSourceFacts facts;
    TFileStreamInfo file;
    prober.GetFileStreamInfo(file);
    facts.Duration = file.Duration;
    facts.FileSize = prober.FileSize();
    // Asking for a stream kind the file lacks would only report "no ... stream."; the facts
    // stay unknown either way.
    if (prober.FirstVideoStreamIndex() >= 0) {
        TVideoStreamInfo video;
        prober.GetVideoStreamInfo(prober.FirstVideoStreamIndex(), video);
        facts.VideoCodecName = video.CodecName;
        facts.FrameRateNum = video.FrameRateNum;
        facts.FrameRateDen = video.FrameRateDen;
    }
    if (prober.FirstAudioStreamIndex() >= 0) {
        TAudioStreamInfo audio;
        prober.GetAudioStreamInfo(prober.FirstAudioStreamIndex(), audio);
        facts.AudioCodecName = audio.CodecName;
        facts.AudioBitRate = audio.BitRate;
        facts.Channels = audio.Channels;
        facts.SampleRate = audio.SampleRate;
    }
    return facts;
}
