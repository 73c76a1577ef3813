// The prober: file and stream facts, the messages of the failures, and the thumbnail path
// (seek, decode one picture, convert it into a bitmap).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "../common/MediaFixture.h"
#include "FFDecode.h"
#include "FFLoad.h"
#include "binding/AVFormatStubs.h"
#include "files/MediaOpen.h"
#include "log/FFLog.h"

namespace fs = std::filesystem;

namespace {

// Two seconds of video without audio: red for 0.8 s, then blue; a key frame every 0.2 s and
// B-frames, so that the decoder holds pictures back.
std::string VideoFile(const std::string& extension = "mp4") {
    return testmedia::Make(testmedia::TempDir("decoder") + "/redblue." + extension,
                           "-f lavfi -i \"color=c=red:s=176x96:r=25:d=0.8[a];"
                           "color=c=blue:s=176x96:r=25:d=1.2[b];[a][b]concat=n=2:v=1:a=0[out0]\" "
                           "-c:v mpeg4 -g 5 -bf 2");
}

// Two seconds of a mono 44.1 kHz tone.
std::string AudioFile() {
    return testmedia::Make(testmedia::TempDir("decoder") + "/tone.wav",
                           "-f lavfi -i sine=frequency=1000:duration=2 -ac 1");
}

std::string ImageFile() {
    return testmedia::Make(testmedia::TempDir("decoder") + "/green.png",
                           "-f lavfi -i color=c=green:s=64x48 -frames:v 1");
}

struct TRGB {
    int R, G, B;
};

TRGB PixelAt(const TBitmap& bmp, int x, int y) {
    EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pf24bit);
    const uint8_t* p = bmp.ScanLine(y) + 3 * x;
    return {p[2], p[1], p[0]};
}

class FFDecode : public ::testing::Test {
protected:
    void SetUp() override {
        testmedia::LoadLibraries();
        logger_ = FFLogger();
        logger_->TriggerEventInMainThread = false;
        logger_->SetOnLog([this](void* sender, uint32_t, TLogLevel level, const std::string& msg) {
            if (sender == &decoder_)
                lines_.emplace_back(level, msg);
        });
    }
    void TearDown() override {
        decoder_.CloseFile();
        logger_->SetOnLog(nullptr);
        logger_->TriggerEventInMainThread = true;
    }
    // The level the decoder last logged `msg` at; llQuiet when it never did.
    TLogLevel LevelOf(const std::string& msg) const {
        for (auto it = lines_.rbegin(); it != lines_.rend(); ++it)
            if (it->second == msg)
                return it->first;
        return llQuiet;
    }

    TFFDecoder decoder_;
    TFFLogger* logger_ = nullptr;
    std::vector<std::pair<TLogLevel, std::string>> lines_;
};

void ExpectCleared(const TAudioStreamInfo& a) {
    EXPECT_EQ(a.Language, "");
    EXPECT_EQ(a.CodecName, "");
    EXPECT_EQ(a.StartPTS, -1);
    EXPECT_EQ(a.StartTime, -1);
    EXPECT_EQ(a.DurationPTS, -1);
    EXPECT_EQ(a.Duration, -1);
    EXPECT_EQ(a.BitRate, -1);
    EXPECT_EQ(a.Channels, -1);
    EXPECT_EQ(a.SampleRate, -1);
    EXPECT_EQ(a.SampleFormat, -1);
}

void ExpectCleared(const TVideoStreamInfo& v) {
    EXPECT_EQ(v.CodecName, "");
    EXPECT_EQ(v.StartTime, -1);
    EXPECT_EQ(v.Duration, -1);
    EXPECT_EQ(v.Height, -1);
    EXPECT_EQ(v.Width, -1);
    EXPECT_EQ(v.DisplayAspectRatio, -1.0f);
    EXPECT_EQ(v.PixelFormat, -1);
    EXPECT_EQ(v.FrameRateNum, -1);
    EXPECT_EQ(v.FrameRateDen, -1);
}

TEST_F(FFDecode, StartsClosedWithEveryFactUnknown) {
    EXPECT_EQ(decoder_.FormatContext(), nullptr);
    EXPECT_EQ(decoder_.FileSize(), -1);
    EXPECT_EQ(decoder_.StreamCount(), -1);
    EXPECT_EQ(decoder_.ProgramCount(), -1);
    EXPECT_EQ(decoder_.AudioStreamCount(), -1);
    EXPECT_EQ(decoder_.VideoStreamCount(), -1);
    EXPECT_EQ(decoder_.SubtitleStreamCount(), -1);
    EXPECT_EQ(decoder_.FirstAudioStreamIndex(), -1);
    EXPECT_EQ(decoder_.FirstVideoStreamIndex(), -1);
    EXPECT_EQ(decoder_.FirstSubtitleStreamIndex(), -1);
    EXPECT_EQ(decoder_.SeekStreamIndex(), -1);
    EXPECT_FALSE(decoder_.PictureReady());
    EXPECT_FALSE(decoder_.Deinterlace());

    TFileStreamInfo info;
    info.Title = "stale";
    info.Duration = 5;
    decoder_.GetFileStreamInfo(info);
    EXPECT_EQ(info.Duration, -1);
    EXPECT_EQ(info.BitRate, -1);
    EXPECT_EQ(info.Title, "");
    EXPECT_EQ(decoder_.LastErrMsg(), "file not loaded.");
    EXPECT_EQ(LevelOf("file not loaded."), llWarning);
    EXPECT_EQ(decoder_.FileName(), "");
    EXPECT_FALSE(decoder_.CanSeek());
    EXPECT_FALSE(decoder_.Decode(-1));
}

TEST_F(FFDecode, AudioOnlyFileSeeksOnItsAudioStream) {
    const std::string path = AudioFile();
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(decoder_.LoadFile(path, "")) << decoder_.LastErrMsg();
    EXPECT_TRUE(decoder_.OwnsContext());
    EXPECT_EQ(decoder_.FileName(), path);
    EXPECT_EQ(decoder_.FileSize(), static_cast<int64_t>(fs::file_size(path)));
    EXPECT_EQ(decoder_.StreamCount(), 1);
    EXPECT_EQ(decoder_.AudioStreamCount(), 1);
    EXPECT_EQ(decoder_.VideoStreamCount(), 0);
    EXPECT_EQ(decoder_.SubtitleStreamCount(), 0);
    EXPECT_EQ(decoder_.FirstAudioStreamIndex(), 0);
    EXPECT_EQ(decoder_.FirstVideoStreamIndex(), -1);
    EXPECT_EQ(decoder_.FirstSubtitleStreamIndex(), -1);
    EXPECT_EQ(decoder_.SeekStreamIndex(), 0);

    TFileStreamInfo file;
    decoder_.GetFileStreamInfo(file);
    EXPECT_EQ(file.Duration, 2000000);
    EXPECT_GT(file.BitRate, 0);

    TAudioStreamInfo audio;
    decoder_.GetAudioStreamInfo(-1, audio);
    EXPECT_EQ(audio.CodecName.rfind("pcm_s16le", 0), 0u) << audio.CodecName;
    EXPECT_EQ(audio.Channels, 1);
    EXPECT_EQ(audio.SampleRate, 44100);
    EXPECT_EQ(audio.SampleFormat, AV_SAMPLE_FMT_S16);
    EXPECT_EQ(audio.BitRate, 44100 * 16);
    EXPECT_EQ(audio.Duration, 2000000);
    EXPECT_EQ(audio.DurationPTS, 88200); // time base 1/44100

    EXPECT_TRUE(decoder_.Seek(0, 1000000));
    TVideoStreamInfo video;
    decoder_.GetVideoStreamInfo(-1, video);
    ExpectCleared(video);
    EXPECT_EQ(decoder_.LastErrMsg(), "no video stream.");
    EXPECT_EQ(LevelOf("no video stream."), llError);
    EXPECT_FALSE(decoder_.Decode(-1));
    EXPECT_EQ(decoder_.LastErrMsg(), "no video stream.");
}

TEST_F(FFDecode, ZeroTimeBaseIsRepairedBeforeRescaling) {
    ASSERT_TRUE(decoder_.LoadFile(AudioFile(), "")) << decoder_.LastErrMsg();
    AVStream* st = decoder_.FormatContext()->streams[0];
    st->time_base = AVRational{0, 0};
    TAudioStreamInfo audio;
    decoder_.GetAudioStreamInfo(0, audio);
    EXPECT_EQ(st->time_base.num, 0);
    EXPECT_EQ(st->time_base.den, 1);
    EXPECT_EQ(audio.DurationPTS, 88200);
    EXPECT_EQ(audio.Duration, 0);
    EXPECT_EQ(audio.StartTime, audio.StartPTS == AV_NOPTS_VALUE ? -1 : 0);
}

TEST_F(FFDecode, FileWithoutAudioLeavesTheAudioFactsUnknown) {
    ASSERT_TRUE(decoder_.LoadFile(VideoFile(), "")) << decoder_.LastErrMsg();
    EXPECT_EQ(decoder_.FirstAudioStreamIndex(), -1);
    EXPECT_EQ(decoder_.FirstVideoStreamIndex(), 0);
    EXPECT_EQ(decoder_.SeekStreamIndex(), 0);

    TAudioStreamInfo audio;
    audio.CodecName = "stale";
    audio.Channels = 2;
    decoder_.GetAudioStreamInfo(-1, audio);
    ExpectCleared(audio);
    EXPECT_EQ(decoder_.LastErrMsg(), "no audio stream.");
    EXPECT_EQ(LevelOf("no audio stream."), llError);

    decoder_.GetAudioStreamInfo(0, audio);
    ExpectCleared(audio);
    EXPECT_EQ(decoder_.LastErrMsg(), "stream #0 is not audio stream.");

    TVideoStreamInfo video;
    decoder_.GetVideoStreamInfo(-1, video);
    EXPECT_EQ(video.Width, 176);
    EXPECT_EQ(video.Height, 96);
    EXPECT_EQ(video.PixelFormat, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(video.FrameRateNum, 25);
    EXPECT_EQ(video.FrameRateDen, 1);
    EXPECT_FLOAT_EQ(video.DisplayAspectRatio, 176.0f / 96.0f);
    EXPECT_EQ(video.Duration, 2000000);
    EXPECT_EQ(video.StartTime, 0);
    EXPECT_EQ(video.CodecName.rfind("mpeg4", 0), 0u) << video.CodecName;
}

TEST_F(FFDecode, InvalidStreamIndexIsRefused) {
    ASSERT_TRUE(decoder_.LoadFile(VideoFile(), "")) << decoder_.LastErrMsg();
    TVideoStreamInfo video;
    decoder_.GetVideoStreamInfo(5, video);
    ExpectCleared(video);
    EXPECT_EQ(decoder_.LastErrMsg(), "stream index #5 is invalid.");
    EXPECT_EQ(LevelOf("stream index #5 is invalid."), llError);

    TAudioStreamInfo audio;
    decoder_.GetAudioStreamInfo(1, audio);
    EXPECT_EQ(decoder_.LastErrMsg(), "stream index #1 is invalid.");

    EXPECT_EQ(decoder_.SelectVideoStream(5), -1);
    EXPECT_FALSE(decoder_.Decode(5));
    EXPECT_EQ(decoder_.LastErrMsg(), "stream index #5 is invalid.");
    EXPECT_FALSE(decoder_.PictureReady());
}

TEST_F(FFDecode, MissingFileFailsAndStaysClosed) {
    const std::string path = testmedia::TempDir("decoder") + "/no such file.mp4";
    EXPECT_FALSE(decoder_.LoadFile(path, ""));
    EXPECT_EQ(decoder_.LastErrMsg(), path + ": No such file or directory");
    EXPECT_EQ(LevelOf(path + ": No such file or directory"), llError);
    EXPECT_EQ(decoder_.FormatContext(), nullptr);
    EXPECT_EQ(decoder_.StreamCount(), -1);
    EXPECT_EQ(decoder_.FileSize(), -1);
}

TEST_F(FFDecode, UnknownForcedFormatIsRefusedWithoutLogging) {
    EXPECT_FALSE(decoder_.LoadFile(AudioFile(), "nosuchformat"));
    EXPECT_EQ(decoder_.LastErrMsg(), "Unknown input format: nosuchformat");
    EXPECT_TRUE(lines_.empty());
    ASSERT_TRUE(decoder_.LoadFile(AudioFile(), "wav")) << decoder_.LastErrMsg();
    EXPECT_EQ(decoder_.ForcedFormat(), "wav");
    decoder_.CloseFile();
    EXPECT_EQ(decoder_.ForcedFormat(), "");
    EXPECT_EQ(decoder_.StreamCount(), -1);
}

TEST_F(FFDecode, FileNameOutsideTheCharacterSetOpens) {
    const std::string path = testmedia::TempDir("decoder") + "/t\xC3\xB6n \xE2\x9C\x93.wav";
    fs::copy_file(AudioFile(), path, fs::copy_options::overwrite_existing);
    ASSERT_TRUE(decoder_.LoadFile(path, "")) << decoder_.LastErrMsg();
    EXPECT_EQ(decoder_.FileName(), path);
    EXPECT_EQ(decoder_.FileSize(), static_cast<int64_t>(fs::file_size(path)));
    EXPECT_EQ(decoder_.AudioStreamCount(), 1);
}

TEST_F(FFDecode, GetBitmapBeforeDecodeFails) {
    TBitmap bmp;
    EXPECT_FALSE(decoder_.GetBitmap(bmp));
    EXPECT_EQ(decoder_.LastErrMsg(), "picture not ready, please decode first");

    ASSERT_TRUE(decoder_.LoadFile(VideoFile(), "")) << decoder_.LastErrMsg();
    EXPECT_FALSE(decoder_.GetBitmap(bmp));
    EXPECT_EQ(decoder_.LastErrMsg(), "picture not ready, please decode first");
    EXPECT_EQ(LevelOf("picture not ready, please decode first"), llError);
    EXPECT_EQ(bmp.Width(), 0);

    // A seek drops the held picture.
    ASSERT_TRUE(decoder_.Decode(-1));
    ASSERT_TRUE(decoder_.Seek(0, 0));
    EXPECT_FALSE(decoder_.PictureReady());
    EXPECT_FALSE(decoder_.GetBitmap(bmp));
}

// The thumbnail sequence: seek to half the duration, decode, take the bitmap.
TEST_F(FFDecode, MiddlePictureOfAVideoBecomesABitmap) {
    // An indexed container read in place, one read front to back, and the deinterlacer.
    const struct {
        const char* Extension;
        bool Deinterlace;
    } cases[] = {{"mp4", false}, {"mkv", false}, {"mp4", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Extension) + (c.Deinterlace ? " deinterlaced" : ""));
        const bool deinterlace = c.Deinterlace;
        ASSERT_TRUE(decoder_.LoadFile(VideoFile(c.Extension), "")) << decoder_.LastErrMsg();
        decoder_.SetDeinterlace(deinterlace);
        TFileStreamInfo file;
        decoder_.GetFileStreamInfo(file);
        ASSERT_EQ(file.Duration, 2000000);
        EXPECT_TRUE(decoder_.Seek(0, file.Duration / 2)) << decoder_.LastErrMsg();
        ASSERT_TRUE(decoder_.Decode(decoder_.FirstVideoStreamIndex())) << decoder_.LastErrMsg();
        EXPECT_EQ(decoder_.Deinterlace(), deinterlace); // the filter did not fail
        EXPECT_GE(decoder_.Picture().PTS, 800000);
        EXPECT_LE(decoder_.Picture().PTS, 1200000);
        EXPECT_TRUE(decoder_.Picture().KeyFrame);
        EXPECT_EQ(decoder_.Picture().PictureType, AV_PICTURE_TYPE_I);

        TBitmap bmp;
        ASSERT_TRUE(decoder_.GetBitmap(bmp)) << decoder_.LastErrMsg();
        EXPECT_EQ(bmp.Width(), 176);
        EXPECT_EQ(bmp.Height(), 96);
        const TRGB c = PixelAt(bmp, 88, 48);
        EXPECT_GT(c.B, 200);
        EXPECT_LT(c.R, 60);
        decoder_.CloseFile();
    }
}

// A short H.264 clip with a single key frame, at its start: the forward seek to the middle
// finds no key frame after it, and the backward one gives the clip's own picture.
TEST_F(FFDecode, ShortClipWithOneKeyFrameStillGetsItsMiddlePicture) {
    const std::string clip =
        testmedia::Make(testmedia::TempDir("decoder") + "/one-key-frame.mp4",
                        "-f lavfi -i color=c=blue:s=176x96:r=25:d=5 -c:v libx264 -preset "
                        "ultrafast -x264-params keyint=1000:min-keyint=1000:scenecut=0");
    ASSERT_FALSE(clip.empty());
    ASSERT_TRUE(decoder_.LoadFile(clip, "")) << decoder_.LastErrMsg();
    TFileStreamInfo file;
    decoder_.GetFileStreamInfo(file);
    ASSERT_GT(file.Duration, 4000000);
    EXPECT_TRUE(decoder_.Seek(0, file.Duration / 2)) << decoder_.LastErrMsg();
    ASSERT_TRUE(decoder_.Decode(decoder_.FirstVideoStreamIndex())) << decoder_.LastErrMsg();
    TBitmap bmp;
    ASSERT_TRUE(decoder_.GetBitmap(bmp)) << decoder_.LastErrMsg();
    const TRGB c = PixelAt(bmp, 88, 48);
    EXPECT_GT(c.B, 200);
    EXPECT_LT(c.R, 60);
}

// Pictures whose two fields differ (one black, one white): the deinterlaced thumbnail has
// lost most of the line-to-line combing the plain one shows.
TEST_F(FFDecode, DeinterlacedThumbnailLosesTheCombing) {
    const std::string file = testmedia::Make(
        testmedia::TempDir("decoder") + "/combed.mkv",
        "-f lavfi -i \"color=c=black:s=64x48:r=50,geq=lum='if(mod(N,2),235,16)':cb=128:cr=128\" "
        "-vf interlace -frames:v 5 -c:v mpeg4 -flags +ildct+ilme -q:v 2");
    ASSERT_FALSE(file.empty());
    // The mean difference of the green channel between neighbouring lines.
    const auto combing = [&](bool deinterlace) {
        EXPECT_TRUE(decoder_.LoadFile(file, "")) << decoder_.LastErrMsg();
        decoder_.SetDeinterlace(deinterlace);
        EXPECT_TRUE(decoder_.Decode(decoder_.FirstVideoStreamIndex())) << decoder_.LastErrMsg();
        EXPECT_EQ(decoder_.Deinterlace(), deinterlace); // the filter did not fail
        TBitmap bmp;
        EXPECT_TRUE(decoder_.GetBitmap(bmp)) << decoder_.LastErrMsg();
        double sum = 0;
        int n = 0;
        for (int y = 8; y + 1 < bmp.Height() - 8; ++y)
            for (int x = 8; x < bmp.Width() - 8; ++x, ++n)
                sum += std::abs(PixelAt(bmp, x, y).G - PixelAt(bmp, x, y + 1).G);
        decoder_.CloseFile();
        return n > 0 ? sum / n : -1;
    };
    const double plain = combing(false);
    const double deinterlaced = combing(true);
    EXPECT_GT(plain, 150);
    EXPECT_GE(deinterlaced, 0);
    EXPECT_LT(deinterlaced, plain / 4);
}

TEST_F(FFDecode, DecodingToTheEndThenSeekingBackToTheStart) {
    ASSERT_TRUE(decoder_.LoadFile(VideoFile(), "")) << decoder_.LastErrMsg();
    int pictures = 0;
    int64_t lastPTS = -1;
    while (decoder_.Decode(-1)) {
        ++pictures;
        EXPECT_GT(decoder_.Picture().PTS, lastPTS);
        EXPECT_EQ(decoder_.Picture().LastPTS, pictures == 1 ? AV_NOPTS_VALUE : lastPTS);
        lastPTS = decoder_.Picture().PTS;
    }
    EXPECT_EQ(pictures, 50);
    EXPECT_EQ(decoder_.LastErrMsg(), "stream eof reached.");
    EXPECT_EQ(LevelOf("stream eof reached."), llInfo);
    EXPECT_TRUE(decoder_.EndOfStream());
    EXPECT_FALSE(decoder_.Decode(-1));
    EXPECT_EQ(decoder_.LastErrMsg(), "stream eof reached.");

    ASSERT_TRUE(decoder_.Seek(0, 0)) << decoder_.LastErrMsg();
    EXPECT_FALSE(decoder_.EndOfStream());
    ASSERT_TRUE(decoder_.Decode(-1)) << decoder_.LastErrMsg();
    EXPECT_EQ(decoder_.Picture().PTS, 0);
    TBitmap bmp;
    ASSERT_TRUE(decoder_.GetBitmap(bmp));
    const TRGB c = PixelAt(bmp, 10, 10);
    EXPECT_GT(c.R, 200);
    EXPECT_LT(c.B, 60);
}

TEST_F(FFDecode, StillImageIsDecodedOnceAndNeverSeeked) {
    ASSERT_TRUE(decoder_.LoadFile(ImageFile(), "")) << decoder_.LastErrMsg();
    EXPECT_FALSE(decoder_.CanSeek());
    EXPECT_EQ(decoder_.LastErrMsg(), "\"image2\" format cannot to be seeked.");
    EXPECT_EQ(LevelOf("\"image2\" format cannot to be seeked."), llInfo);
    EXPECT_FALSE(decoder_.Seek(0, 0));

    ASSERT_TRUE(decoder_.Decode(-1)) << decoder_.LastErrMsg();
    AVIOContext* pb = decoder_.FormatContext()->pb;
    ASSERT_NE(pb, nullptr);
    const int64_t position = ff::avio_seek(pb, 0, SEEK_CUR);
    const std::string lastMessage = decoder_.LastErrMsg();
    EXPECT_TRUE(decoder_.Decode(-1));
    EXPECT_EQ(ff::avio_seek(pb, 0, SEEK_CUR), position);
    EXPECT_EQ(decoder_.LastErrMsg(), lastMessage);
    EXPECT_FALSE(decoder_.EndOfStream());

    TBitmap bmp;
    ASSERT_TRUE(decoder_.GetBitmap(bmp)) << decoder_.LastErrMsg();
    EXPECT_EQ(bmp.Width(), 64);
    EXPECT_EQ(bmp.Height(), 48);
    const TRGB c = PixelAt(bmp, 32, 24);
    EXPECT_GT(c.G, 100);
    EXPECT_LT(c.R, 60);
    EXPECT_LT(c.B, 60);
}

// An input opened elsewhere is described but never seeked, decoded or closed by the decoder.
TEST_F(FFDecode, AttachedInputIsReadOnly) {
    AVFormatContext* ctx = nullptr;
    ASSERT_EQ(OpenInputContext(&ctx, VideoFile(), nullptr, nullptr), 0);
    TInputContextPtr input(ctx);
    ASSERT_GE(ff::avformat_find_stream_info(ctx, nullptr), 0);

    decoder_.SetFormatContext(ctx);
    EXPECT_FALSE(decoder_.OwnsContext());
    EXPECT_EQ(decoder_.FormatContext(), ctx);
    EXPECT_EQ(decoder_.FirstVideoStreamIndex(), 0);
    TVideoStreamInfo video;
    decoder_.GetVideoStreamInfo(-1, video);
    EXPECT_EQ(video.Width, 176);

    for (auto* call : {+[](TFFDecoder& d) { d.CanSeek(); }, +[](TFFDecoder& d) { d.Decode(-1); },
                       +[](TFFDecoder& d) { d.Seek(0, 0); }}) {
        try {
            call(decoder_);
            ADD_FAILURE() << "no error raised";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "file cannot be seeked, handle is readonly.");
        }
    }
    decoder_.CloseFile();
    EXPECT_EQ(decoder_.FormatContext(), nullptr);
    EXPECT_EQ(ctx->nb_streams, 1u); // still open: the decoder left it to its owner
}

// Only the four libraries the decoder calls are checked, in a fixed order.
class FFDecodeWithoutLibraries : public ::testing::Test {
protected:
    void TearDown() override { testmedia::LoadLibraries(); }
};

TEST_F(FFDecodeWithoutLibraries, LoadingRaisesForTheFirstMissingLibrary) {
    const struct {
        TAVLibraries Unloaded;
        const char* Message;
    } cases[] = {
        {AllLibraries, "LibAVCodec not loaded."},
        {{LibAVFormat, LibSwScale}, "LibAVFormat not loaded."},
        {{LibAVUtil}, "LibAVUtil not loaded."},
        {{LibSwScale}, "LibSwScale not loaded."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Message);
        testmedia::LoadLibraries();
        FFLoader->Unload(c.Unloaded);
        TFFDecoder decoder;
        try {
            decoder.LoadFile(AudioFile(), "");
            ADD_FAILURE() << "LoadFile raised nothing";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), c.Message);
        }
        int dummy = 0;
        try {
            decoder.SetFormatContext(reinterpret_cast<AVFormatContext*>(&dummy));
            ADD_FAILURE() << "SetFormatContext raised nothing";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), c.Message);
        }
        EXPECT_EQ(decoder.FormatContext(), nullptr);
    }
}

} // namespace
