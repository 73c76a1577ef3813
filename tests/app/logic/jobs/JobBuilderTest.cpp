// The job of one source: the output description every preset gives it, its output name, the
// input description, and the output folder check.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "AppTestEnv.h"
#include "FFDecode.h"
#include "MediaFixture.h"
#include "jobs/JobBuilder.h"
#include "jobs/OutputFormats.h"

namespace {

namespace fs = std::filesystem;

// The description a preset is expected to produce.
struct TPresetRow {
    int Format;
    int Preset;
    const char* Caption;
    const char* Codec;
    int Channels;
    int SampleRate;
    int BitRate; // SourceBitRate: the source's audio bit rate
    const char* ExtOptions;
};

// The whole table, written out row by row.
const TPresetRow PresetRows[] = {
    {ofWAV, 0, "For Mobiles - PCM: 11025 Hz, Mono, 16 bits", "", 1, 11025, -1, "sample_fmt=s16"},
    {ofWAV, 1, "AM Radio Quality - PCM: 22050 Hz, Mono, 16 bits", "", 1, 22050, -1,
     "sample_fmt=s16"},
    {ofWAV, 2, "FM Radio Quality - PCM: 22050 Hz, Sterro, 24 bits", "pcm_s24le", 2, 22050, -1, ""},
    {ofWAV, 3, "HiFi Quality - PCM: 48000Hz, Stereo, 32 bits", "pcm_s32le", 2, 48000, -1, ""},
    {ofWAV, 4, "Uncompressed (CD Audio Quality)", "", 2, 44100, -1, "sample_fmt=s16"},
    {ofMP3, 0, "For Mobile - MP3: 44100 Hz, Stereo, 112 kbps", "libmp3lame", 2, 44100, 112000, ""},
    {ofMP3, 1, "For Media Player - MP3: 48000 Hz, Stereo, 128 kbps", "libmp3lame", 2, 48000, 128000,
     ""},
    {ofMP3, 2, "Normal Quality - MP3: 48000 Hz, Stereo, 256 kbps", "libmp3lame", 2, 48000, 256000,
     ""},
    {ofMP3, 3, "Best Quality - MP3: 48000 Hz, Stereo, 320 kbps", "libmp3lame", 2, 48000, 320000,
     ""},
    {ofWMA, 0, "For Media Player Best Quality", "wmav2", 2, 48000, 192000, ""},
    {ofWMA, 1, "For Media Player Economy Quality", "wmav2", 2, 44100, 96000, ""},
    {ofWMA, 2, "For Pocket PCs/PDAs Normal Quality", "wmav2", 2, 44100, 128000, ""},
    {ofWMA, 3, "For PC Normal Quality", "wmav2", 2, 44100, 128000, ""},
    {ofWMA, 4, "WMA Losslesss Audio", "wmav2", 2, 48000, SourceBitRate, ""},
    {ofOGG, 0, "Telephone Quality - Ogg Vorbis: Quality - 4.97; 11025 Hz, Mono", "libvorbis", 1,
     11025, -1, "aq=4.97"},
    {ofOGG, 1, "AM Radio Quality - Ogg Vorbis: Quality - 4.97; 22050 Hz, Mono", "libvorbis", 1,
     22050, -1, "aq=4.97"},
    {ofOGG, 2, "FM Radio Quality - Ogg Vorbis: Quality - 4.97; 22050 Hz, Stereo", "libvorbis", 2,
     22050, -1, "aq=4.97"},
    {ofOGG, 3, "CD Quality - Ogg Vorbis: Quality - 4.97; 44100 Hz, Stereo", "libvorbis", 2, 44100,
     -1, "aq=4.97"},
    {ofOGG, 4, "HiFi Quality - Ogg Vorbis: Quality - 8.05; 48000 Hz, Stereo", "libvorbis", 2, 48000,
     -1, "aq=8.05"},
    {ofAAC, 0, "For Mobiles - MPEG2/4 LC: 16000 Hz, Mono, 96 kbps", "aac", 1, 16000, 96000, ""},
    {ofAAC, 1, "AM Quality - MPEG2/4 LC: 22500 Hz, Mono, 112 kbps", "aac", 1, 22050, 112000, ""},
    {ofAAC, 2, "FM Quality - MPEG2/4 LC: 22500 Hz, Stereo, 224 kbps", "aac", 2, 22050, 224000, ""},
    {ofAAC, 3, "CD Quality - MPEG2/4 LC: 44100 Hz, Stereo, 256 kbps", "aac", 2, 44100, 256000, ""},
    {ofAAC, 4, "HiFi Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps", "aac", 2, 48000, 256000,
     ""},
    {ofM4A, 0, "Normal Quality - MPEG2/4 LC: 44100 Hz, Stereo, 96 kbps", "", 2, 44100, 96000, ""},
    {ofM4A, 1, "Best Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps", "", 2, 48000, 256000, ""},
    {ofFLAC, 0, "Compression Level 0", "flac", -1, -1, -1, "compression_level=0"},
    {ofFLAC, 1, "Compression Level 1", "flac", -1, -1, -1, "compression_level=1"},
    {ofFLAC, 2, "Compression Level 2", "flac", -1, -1, -1, "compression_level=2"},
    {ofFLAC, 3, "Compression Level 3", "flac", -1, -1, -1, "compression_level=3"},
    {ofFLAC, 4, "Compression Level 4", "flac", -1, -1, -1, "compression_level=4"},
    {ofFLAC, 5, "Compression Level 5 (Default)", "flac", -1, -1, -1, "compression_level=5"},
    {ofFLAC, 6, "Compression Level 6", "flac", -1, -1, -1, "compression_level=6"},
    {ofFLAC, 7, "Compression Level 7", "flac", -1, -1, -1, "compression_level=7"},
    {ofFLAC, 8, "Compression Level 8", "flac", -1, -1, -1, "compression_level=8"},
    {ofMP2, 0, "For Mobiles - MPEG layer-2: 22050 Hz, Mono, 96 kbps", "", 1, 22050, 96000, ""},
    {ofMP2, 1, "AM Quality - MPEG layer-2: 22050 Hz, Mono, 112 kbps", "", 1, 22050, 112000, ""},
    {ofMP2, 2, "FM Quality - MPEG layer-2: 22050 Hz, Stereo, 128 kbps", "", 2, 22050, 128000, ""},
};

bool VideoDisabled(int format) {
    return format == ofWMA || format == ofOGG || format == ofM4A;
}

class JobBuilder : public ::testing::Test {
protected:
    void SetUp() override {
        testmedia::LoadLibraries();
        sources_ = testmedia::TempDir("app/job-builder");
        wav_ = testmedia::Make(sources_ + "/tone.wav",
                               "-f lavfi -i sine=frequency=440:duration=1 -ac 2 -ar 44100");
        flac_ = testmedia::Make(sources_ + "/tone.flac",
                                "-f lavfi -i sine=frequency=440:duration=1 -ac 2");
        ASSERT_FALSE(wav_.empty());
        ASSERT_FALSE(flac_.empty());
        out_ = apptest::FreshDir("out");
    }

    TOutputOptions Build(const std::string& source, int format, int preset,
                         const std::set<std::string>& claimed = {}) {
        EXPECT_TRUE(prober_.LoadFile(source)) << prober_.LastErrMsg();
        TOutputOptions options;
        BuildOutputOptions(prober_, {format, preset, out_}, claimed, options);
        prober_.CloseFile();
        return options;
    }

    TFFDecoder prober_;
    std::string sources_;
    std::string wav_;
    std::string flac_;
    std::string out_;
};

TEST_F(JobBuilder, EveryPresetGivesItsRow) {
    int rows = 0;
    for (int format = 0; format < OutputFormatCount; ++format)
        rows += static_cast<int>(OutputFormats()[format].Presets.size());
    ASSERT_EQ(rows, static_cast<int>(std::size(PresetRows)));

    for (const TPresetRow& row : PresetRows) {
        SCOPED_TRACE(row.Caption);
        const TPresetSettings* preset = PresetSettings(row.Format, row.Preset);
        ASSERT_NE(preset, nullptr);
        EXPECT_STREQ(preset->Caption, row.Caption);

        const TOutputOptions o = Build(wav_, row.Format, row.Preset);
        const std::string ext = OutputExtension(row.Format);
        EXPECT_EQ(o.Extension, ext);
        EXPECT_EQ(o.FileName, out_ + "tone" + ext);
        EXPECT_EQ(o.AudioCodec, row.Codec);
        EXPECT_EQ(o.AudioChannels, row.Channels);
        EXPECT_EQ(o.AudioSampleRate, row.SampleRate);
        // The source is 44100 Hz stereo 16-bit PCM.
        EXPECT_EQ(o.AudioBitrate, row.BitRate == SourceBitRate ? 1411200 : row.BitRate);
        EXPECT_EQ(o.ExtOptions, row.ExtOptions);
        EXPECT_EQ(o.DisableVideo, VideoDisabled(row.Format));
        EXPECT_EQ(o.VideoCodec, row.Format == ofOGG ? "libtheora" : "");
        EXPECT_TRUE(o.DisableSubtitle);
        EXPECT_FALSE(o.DisableAudio);
        EXPECT_EQ(o.AudioBitrateTolerance, -1);
    }
}

TEST_F(JobBuilder, LosslessWmaTakesASourceBitRateOfZeroAsItIs) {
    ASSERT_TRUE(prober_.LoadFile(flac_));
    TAudioStreamInfo audio;
    prober_.GetAudioStreamInfo(-1, audio);
    prober_.CloseFile();
    ASSERT_LT(audio.BitRate, 1) << "the fixture should have no stream bit rate";
    EXPECT_EQ(Build(flac_, ofWMA, 4).AudioBitrate, audio.BitRate);
}

TEST_F(JobBuilder, PresetOutsideTheListSetsOnlyTheFormatsOwnFields) {
    for (const int preset : {-1, 9}) {
        SCOPED_TRACE(preset);
        const TOutputOptions o = Build(wav_, ofOGG, preset);
        EXPECT_EQ(o.AudioCodec, "libvorbis");
        EXPECT_EQ(o.VideoCodec, "libtheora");
        EXPECT_TRUE(o.DisableVideo);
        EXPECT_TRUE(o.DisableSubtitle);
        EXPECT_EQ(o.AudioChannels, -1);
        EXPECT_EQ(o.AudioSampleRate, -1);
        EXPECT_EQ(o.AudioBitrate, -1);
        EXPECT_EQ(o.ExtOptions, "");
        EXPECT_EQ(o.FileName, out_ + "tone.ogg");
    }
}

TEST_F(JobBuilder, FormatOutsideTheTableGivesNoExtensionAndNoSettings) {
    for (const int format : {-1, 9}) {
        SCOPED_TRACE(format);
        const TOutputOptions o = Build(wav_, format, 0);
        EXPECT_EQ(o.Extension, "");
        EXPECT_EQ(o.FileName, out_ + "tone");
        EXPECT_EQ(o.AudioCodec, "");
        EXPECT_EQ(o.AudioSampleRate, -1);
        EXPECT_FALSE(o.DisableVideo);
        EXPECT_TRUE(o.DisableSubtitle);
    }
}

TEST_F(JobBuilder, OutputNamesSkipExistingAndClaimedFiles) {
    apptest::WriteFile(out_ + "tone.mp3", "x");
    apptest::WriteFile(out_ + "tone(1).mp3", "x");
    EXPECT_EQ(Build(wav_, ofMP3, 0).FileName, out_ + "tone(2).mp3");
    EXPECT_EQ(Build(wav_, ofMP3, 0, {out_ + "tone(2).mp3"}).FileName, out_ + "tone(3).mp3");
}

TEST_F(JobBuilder, SourceWithoutExtensionGetsTheFormatsAppended) {
    const std::string bare = apptest::FreshDir("src") + "bare";
    fs::copy_file(wav_, bare);
    EXPECT_EQ(Build(bare, ofFLAC, 5).FileName, out_ + "bare.flac");
}

TEST_F(JobBuilder, SourceInTheOutputFolderIsNeverTheOutput) {
    const std::string source = out_ + "tone.wav";
    fs::copy_file(wav_, source);
    EXPECT_EQ(Build(source, ofWAV, 4).FileName, out_ + "tone(1).wav");
}

TEST_F(JobBuilder, OutputFolderWithoutTrailingSeparator) {
    ASSERT_TRUE(prober_.LoadFile(wav_));
    TOutputOptions o;
    BuildOutputOptions(prober_, {ofMP2, 0, out_.substr(0, out_.size() - 1)}, {}, o);
    prober_.CloseFile();
    EXPECT_EQ(o.FileName, out_ + "tone.mp2");
}

TEST_F(JobBuilder, InputDescriptionNamesTheSourceAndDecodesNoVideo) {
    ASSERT_TRUE(prober_.LoadFile(wav_));
    TInputOptions in;
    in.ProgramID = 7;
    BuildInputOptions(prober_, in);
    prober_.CloseFile();
    EXPECT_EQ(in.FileName, wav_);
    EXPECT_EQ(in.ForceFormat, "");
    EXPECT_EQ(in.ExtOptions, "vn=1");
    EXPECT_EQ(in.StartTime, AV_NOPTS_VALUE);
    EXPECT_EQ(in.ProgramID, -1);
}

TEST(JobSettings, TakeThePresetOfTheSelectedFormat) {
    TGlobalVars vars;
    vars.OutputFormat = ofOGG;
    vars.PresetIndex[ofOGG] = 3;
    vars.PresetIndex[ofMP3] = 1;
    vars.OutputFileDir = "/music/";
    const TJobSettings s = JobSettingsOf(vars);
    EXPECT_EQ(s.OutputFormat, ofOGG);
    EXPECT_EQ(s.PresetIndex, 3);
    EXPECT_EQ(s.OutputFileDir, "/music/");
    vars.OutputFormat = 9;
    EXPECT_EQ(JobSettingsOf(vars).PresetIndex, -1);
}

TEST(OutputFolderCheck, ExistingOrCreatedWithParents) {
    const std::string dir = apptest::FreshDir("folders");
    EXPECT_TRUE(CheckOutputFolder(dir));
    EXPECT_TRUE(CheckOutputFolder(dir + "a/b/c/"));
    EXPECT_TRUE(fs::is_directory(dir + "a/b/c"));
    apptest::WriteFile(dir + "file", "x");
    EXPECT_FALSE(CheckOutputFolder(dir + "file"));
    EXPECT_FALSE(CheckOutputFolder(dir + "file/sub/"));
    EXPECT_FALSE(CheckOutputFolder(""));
    EXPECT_STREQ(OutputFolderFailedMessage,
                 "Fail to create directory! Please check if output folder have the right format!");
}

} // namespace
