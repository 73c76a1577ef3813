#include "SourceProbe.h"

#include "FFDecode.h"

TSourceFacts ReadSourceFacts(TFFDecoder& prober) {
    TSourceFacts facts;
    TFileStreamInfo file;
    prober.GetFileStreamInfo(file);
    facts.Duration = file.Duration;
    // Both kinds are asked for in every file: for a kind the file lacks the prober logs
    // "no video stream." or "no audio stream." and leaves the facts unknown (-1 and empty).
    TVideoStreamInfo video;
    prober.GetVideoStreamInfo(prober.FirstVideoStreamIndex(), video);
    facts.VideoCodecName = video.CodecName;
    facts.FrameRateNum = video.FrameRateNum;
    facts.FrameRateDen = video.FrameRateDen;
    facts.FileSize = prober.FileSize();
    TAudioStreamInfo audio;
    prober.GetAudioStreamInfo(prober.FirstAudioStreamIndex(), audio);
    facts.AudioCodecName = audio.CodecName;
    facts.AudioBitRate = audio.BitRate;
    facts.Channels = audio.Channels;
    facts.SampleRate = audio.SampleRate;
    return facts;
}
