// The encoder thread of a job with one re-encoded audio stream: taken when a spare core is
// there, the output is the one-thread run's byte for byte in every format, and failures and
// stops end both threads as they end the one-thread run.
#include <fstream>
#include <iterator>
#include <string>

#include "RunTestEnv.h"
#include "audio/Audio.h"

namespace {

using namespace runtest;

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

class EngineEncodeThread : public EngineRun {
protected:
    struct TResult {
        std::string Error;
        bool Threaded = false; // an encoder thread ran for the output stream
        int64_t AudioSize = 0;
    };

    // Converts `source` into `out` with `codec` (and `bitrate` when given), with the encoder
    // thread allowed or not; `stopAfter` > 0 stops the run after that many decoded chunks.
    static TResult Convert(const std::string& source, const std::string& out, const char* codec,
                           bool threads, int stopAfter = 0, int bitrate = -1,
                           const char* format = "", const std::string& extra = "") {
        TTestTask task;
        task.ThreadsAvailable = 2;
        task.EncodeThreads = threads;
        TResult result;
        int chunks = 0;
        task.OnAudioHook = [&](TCustomFFmpeg* sender, uint8_t*, int64_t, int, int, int,
                               AVSampleFormat) {
            for (const auto& ost : task.OutputStreams[0])
                if (ost && ost->work && ost->work->encodeThread)
                    result.Threaded = true;
            if (stopAfter > 0 && ++chunks == stopAfter)
                sender->Stop(false);
        };
        OpenInput(task, source, extra.empty() ? "vn=1" : "");
        TOutputOptions o;
        o.AudioCodec = codec;
        o.AudioBitrate = bitrate;
        o.DisableVideo = true;
        o.ForceFormat = format;
        if (!extra.empty()) {
            // The source's cover picture (its stream 1) copied before the audio (stream 0).
            o.DisableVideo = false;
            o.VideoCodec = "copy";
            o.ExtOptions = extra;
        }
        CreateOutput(task, out, o);
        // The Ogg muxer draws its stream serial number at random unless asked for exact
        // output.
        if (!task.OutputFiles.empty() && task.OutputFiles[0]->Context())
            task.OutputFiles[0]->Context()->flags |= AVFMT_FLAG_BITEXACT;
        result.Error = RunTask(task);
        result.AudioSize = task.AudioSize;
        return result;
    }
};

TEST_F(EngineEncodeThread, EveryFormatIsTheOneThreadRunByteForByte) {
    const std::string flac = FlacSource();
    ASSERT_FALSE(flac.empty());
    const struct {
        const char* Extension;
        const char* Codec;
        int Bitrate;
        bool Threaded; // raw PCM keeps the one-thread run
    } cases[] = {
        {".wav", "pcm_s16le", -1, false}, {".mp3", "libmp3lame", 128000, true},
        {".wma", "wmav2", 128000, true},  {".ogg", "libvorbis", -1, true},
        {".aac", "aac", 128000, true},    {".m4a", "aac", 96000, true},
        {".flac", "flac", -1, true},      {".mp2", "mp2", 192000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Codec) + c.Extension);
        // Names of their own: other tests of the folder may run at the same time.
        const std::string one = OutPath(std::string("pipe-one") + c.Extension);
        const std::string two = OutPath(std::string("pipe-two") + c.Extension);
        const TResult single = Convert(flac, one, c.Codec, false, 0, c.Bitrate);
        const TResult threaded = Convert(flac, two, c.Codec, true, 0, c.Bitrate);
        EXPECT_EQ(single.Error, "");
        EXPECT_EQ(threaded.Error, "");
        EXPECT_FALSE(single.Threaded);
        EXPECT_EQ(threaded.Threaded, c.Threaded);
        EXPECT_EQ(threaded.AudioSize, single.AudioSize);
        const std::string a = ReadAll(one);
        ASSERT_GT(a.size(), 1000u);
        EXPECT_TRUE(a == ReadAll(two)) << "the outputs differ";
    }
}

// A copied cover picture leaves the encoder thread on: its one packet is written before any
// audio, and the files are the one-thread run's.
TEST_F(EngineEncodeThread, ACopiedCoverKeepsTheThreadAndTheBytes) {
    const std::string tagged =
        Make("tagged.mp3", "-f lavfi -i sine=frequency=440:duration=3 -f lavfi -i "
                           "color=c=red:s=64x48:d=1 -map 0:a -map 1:v -frames:v 1 -c:v mjpeg "
                           "-disposition:v attached_pic -id3v2_version 3");
    ASSERT_FALSE(tagged.empty());
    const char* maps = "map=0:1<CRLF>map=0:0";
    for (const auto& [extension, codec] :
         {std::pair{".mp3", "libmp3lame"}, {".flac", "flac"}, {".m4a", "aac"}}) {
        SCOPED_TRACE(extension);
        const std::string one = OutPath(std::string("cover-one") + extension);
        const std::string two = OutPath(std::string("cover-two") + extension);
        const TResult single = Convert(tagged, one, codec, false, 0, -1, "", maps);
        const TResult threaded = Convert(tagged, two, codec, true, 0, -1, "", maps);
        EXPECT_EQ(single.Error, "");
        EXPECT_EQ(threaded.Error, "");
        EXPECT_TRUE(threaded.Threaded);
        EXPECT_EQ(Probe(two, "-show_entries stream=codec_name -of csv=p=0"),
                  Probe(one, "-show_entries stream=codec_name -of csv=p=0"));
        EXPECT_NE(Probe(two, "-show_entries stream=codec_name -of csv=p=0").find("mjpeg"),
                  std::string::npos);
        const std::string a = ReadAll(one);
        ASSERT_GT(a.size(), 1000u);
        EXPECT_TRUE(a == ReadAll(two)) << "the outputs differ";
    }
}

TEST_F(EngineEncodeThread, OneThreadWithoutASpareCore) {
    TTestTask task;
    task.ThreadsAvailable = 1;
    bool threaded = false;
    task.OnAudioHook = [&](TCustomFFmpeg*, uint8_t*, int64_t, int, int, int, AVSampleFormat) {
        const auto& ost = task.OutputStreams[0][0];
        threaded = threaded || (ost && ost->work && ost->work->encodeThread);
    };
    OpenInput(task, WavSource(1));
    TOutputOptions o;
    o.AudioCodec = "flac";
    o.DisableVideo = true;
    CreateOutput(task, OutPath("alone.flac"), o);
    EXPECT_EQ(RunTask(task), "");
    EXPECT_FALSE(threaded);
}

// A write that fails on the encoder thread fails the run with the one-thread run's message.
TEST_F(EngineEncodeThread, AWriteFailureOnTheEncoderThreadFailsTheRun) {
    const std::string source = WavSource(3);
    const TResult single = Convert(source, "/dev/full", "flac", false, 0, -1, "flac");
    const TResult threaded = Convert(source, "/dev/full", "flac", true, 0, -1, "flac");
    EXPECT_NE(single.Error, "");
    EXPECT_TRUE(threaded.Threaded);
    EXPECT_EQ(threaded.Error, single.Error);
}

// A stop ends both threads; what was encoded up to then is a complete file: the FLAC
// header's sample count, written with the trailer, covers every packet.
TEST_F(EngineEncodeThread, AStopEndsBothThreadsWithACompleteOutput) {
    const std::string out = OutPath("stopped.flac");
    const TResult result = Convert(WavSource(3), out, "flac", true, 20);
    EXPECT_EQ(result.Error, "");
    EXPECT_TRUE(result.Threaded);
    const double seconds = PacketSeconds(out);
    EXPECT_GT(seconds, 0.0);
    EXPECT_LT(seconds, 2.0);
    const std::string header = Probe(out, "-show_entries stream=duration -of csv=p=0");
    ASSERT_FALSE(header.empty());
    ASSERT_NE(header, "N/A") << "the trailer was not written";
    EXPECT_NEAR(std::stod(header), seconds, 0.05);
}

} // namespace
