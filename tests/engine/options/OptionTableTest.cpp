// The option table: each case applies a few options to a fresh task and checks the fields
// they leave, or the exact message the last one raises.
#include <climits>
#include <functional>
#include <utility>

#include "EngineTestEnv.h"
#include "MyUtils.h"

namespace {

using TSteps = std::vector<std::pair<std::string, std::string>>;

struct TOptionCase {
    const char* Title;
    TSteps Steps;
    std::optional<std::string> Error; // what the last step raises
    std::function<void(const TTestTask&)> Check;
};

std::string MetadataValueOf(const TTestTask& t, const char* key) {
    const AVDictionaryEntry* e = ff::av_dict_get(t.Metadata.get(), key, nullptr, 0);
    return e ? e->value : "<none>";
}

bool SameMap(const TStreamMap& m, int file, int stream, int syncFile, int syncStream) {
    return m.FileIndex == file && m.StreamIndex == stream && m.SyncFileIndex == syncFile &&
           m.SyncStreamIndex == syncStream;
}

bool SameSide(const TMetadataMapSide& s, int file, char type, int index) {
    return s.File == file && s.Type == type && s.Index == index;
}

std::string Numbers(int from, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i)
            text += ',';
        text += std::to_string(from + i);
    }
    return text;
}

const TOptionCase OptionCases[] = {
    // vn
    {"vn_empty_disables", {{"vn", ""}}, {}, [](auto& t) { EXPECT_TRUE(t.VideoDisable); }},
    {"vn_one_disables", {{"vn", "1"}}, {}, [](auto& t) { EXPECT_TRUE(t.VideoDisable); }},
    {"vn_zero_enables_again",
     {{"vn", "1"}, {"vn", "0"}},
     {},
     [](auto& t) { EXPECT_FALSE(t.VideoDisable); }},
    // ar, ac, vol
    {"ar_sets", {{"ar", "22050"}}, {}, [](auto& t) { EXPECT_EQ(t.AudioSampleRate, 22050); }},
    {"ar_zero_keeps",
     {{"ar", "22050"}, {"ar", "0"}},
     {},
     [](auto& t) { EXPECT_EQ(t.AudioSampleRate, 22050); }},
    {"ar_negative_keeps",
     {{"ar", "-8000"}},
     {},
     [](auto& t) { EXPECT_EQ(t.AudioSampleRate, 44100); }},
    {"ac_zero_keeps", {{"ac", "0"}}, {}, [](auto& t) { EXPECT_EQ(t.AudioChannels, 2); }},
    {"ac_negative_keeps", {{"ac", "-1"}}, {}, [](auto& t) { EXPECT_EQ(t.AudioChannels, 2); }},
    {"ac_sets", {{"ac", "1"}}, {}, [](auto& t) { EXPECT_EQ(t.AudioChannels, 1); }},
    {"vol_negative", {{"vol", "-3"}}, {}, [](auto& t) { EXPECT_EQ(t.AudioVolume, -3); }},
    {"vol_not_integer", {{"vol", "1.5"}}, "'1.5' is not a valid integer value", nullptr},
    {"fs_not_integer", {{"fs", "12x"}}, "'12x' is not a valid integer value", nullptr},
    {"fs_int64",
     {{"fs", "5000000000"}},
     {},
     [](auto& t) { EXPECT_EQ(t.LimitFileSize, 5000000000LL); }},
    // qscale
    {"qscale_255", {{"qscale", "255"}}, {}, [](auto& t) { EXPECT_EQ(t.VideoQScale, 255.0f); }},
    {"qscale_small", {{"qscale", "0.001"}}, {}, [](auto& t) { EXPECT_EQ(t.VideoQScale, 0.001f); }},
    {"qscale_zero", {{"qscale", "0"}}, "qscale must be > 0.0 and <= 255", nullptr},
    {"qscale_negative", {{"qscale", "-1"}}, "qscale must be > 0.0 and <= 255", nullptr},
    {"qscale_above", {{"qscale", "255.5"}}, "qscale must be > 0.0 and <= 255", nullptr},
    {"qscale_not_float", {{"qscale", "x"}}, "'x' is not a valid floating point value", nullptr},
    // aspect
    {"aspect_zero_height", {{"aspect", "16:0"}}, "Incorrect aspect ratio specification.", nullptr},
    {"aspect_garbage", {{"aspect", "wide"}}, "Incorrect aspect ratio specification.", nullptr},
    {"aspect_ratio",
     {{"aspect", "4:3"}},
     {},
     [](auto& t) { EXPECT_EQ(t.FrameAspectRatio, static_cast<float>(4.0 / 3.0)); }},
    {"aspect_float",
     {{"aspect", "1.85"}},
     {},
     [](auto& t) { EXPECT_EQ(t.FrameAspectRatio, 1.85f); }},
    {"aspect_empty_keeps",
     {{"aspect", "16:9"}, {"aspect", ""}},
     {},
     [](auto& t) { EXPECT_EQ(t.FrameAspectRatio, static_cast<float>(16.0 / 9.0)); }},
    // pass
    {"pass_3", {{"pass", "3"}}, "pass number can be only 1 or 2", nullptr},
    {"pass_2", {{"pass", "2"}}, {}, [](auto& t) { EXPECT_EQ(t.PassNumber, 2); }},
    // metadata
    {"metadata_missing_eq", {{"metadata", "title"}}, "Missing =", nullptr},
    {"metadata_empty_key", {{"metadata", "=x"}}, "wrong parameter of metadata", nullptr},
    {"metadata_empty_value",
     {{"metadata", "comment="}},
     {},
     [](auto& t) { EXPECT_EQ(MetadataValueOf(t, "comment"), ""); }},
    {"metadata_replaces",
     {{"metadata", "title=a"}, {"metadata", "title=b=c"}},
     {},
     [](auto& t) {
         EXPECT_EQ(MetadataValueOf(t, "title"), "b=c");
         EXPECT_EQ(ff::av_dict_count(t.Metadata.get()), 1);
     }},
    // tags
    {"vtag_fourcc",
     {{"vtag", "DX50"}},
     {},
     [](auto& t) {
         EXPECT_EQ(t.VideoCodecTag, 'D' | ('X' << 8) | ('5' << 16) | (uint32_t('0') << 24));
     }},
    {"vtag_number", {{"vtag", "123"}}, {}, [](auto& t) { EXPECT_EQ(t.VideoCodecTag, 123u); }},
    {"atag_hex", {{"atag", "0x55"}}, {}, [](auto& t) { EXPECT_EQ(t.AudioCodecTag, 0x55u); }},
    {"vtag_three_letters",
     {{"vtag", "DX5"}},
     "tag parameter must be 4 chars or int value",
     nullptr},
    {"stag_empty_keeps",
     {{"stag", "text"}, {"stag", ""}},
     {},
     [](auto& t) { EXPECT_EQ(t.SubtitleCodecTag, 't' | ('e' << 8) | ('x' << 16) | ('t' << 24)); }},
    // streamid
    {"streamid_no_colon",
     {{"streamid", "5"}},
     "Invalid value \"5\" for option \"streamid\", required syntax is \"index:value\"",
     nullptr},
    {"streamid_not_number",
     {{"streamid", "a:1"}},
     "Invalid value \"a:1\" for option \"streamid\", required syntax is \"index:value\"",
     nullptr},
    {"streamid_negative_index",
     {{"streamid", "-1:5"}},
     "Invalid value \"-1:5\" for option \"streamid\", required syntax is \"index:value\"",
     nullptr},
    {"streamid_index_beyond_stream_limit",
     {{"streamid", "1000:5"}},
     "Invalid value \"1000:5\" for option \"streamid\", required syntax is \"index:value\"",
     nullptr},
    {"streamid_grows",
     {{"streamid", "2:256"}},
     {},
     [](auto& t) {
         EXPECT_EQ(t.StreamIdMap, (std::vector<int>{0, 0, 256}));
     }},
    // itsscale
    {"itsscale_20", {{"itsscale", "20:1.5"}}, "stream index over MAX_STREAMS(20)", nullptr},
    {"itsscale_negative", {{"itsscale", "-1:1.5"}}, "stream index over MAX_STREAMS(20)", nullptr},
    {"itsscale_19",
     {{"itsscale", "19:1.5"}},
     {},
     [](auto& t) {
         ASSERT_EQ(t.TsScales.size(), 1u);
         ASSERT_EQ(t.TsScales[0].size(), 20u);
         EXPECT_EQ(t.TsScales[0][19], 1.5);
         EXPECT_EQ(t.TsScales[0][0], 0.0);
     }},
    // map
    {"map_file_stream",
     {{"map", "0.1"}},
     {},
     [](auto& t) {
         ASSERT_EQ(t.StreamMaps.size(), 1u);
         EXPECT_TRUE(SameMap(t.StreamMaps[0], 0, 1, 0, 1));
     }},
    {"map_with_sync",
     {{"map", "1.2:0.3"}},
     {},
     [](auto& t) {
         ASSERT_EQ(t.StreamMaps.size(), 1u);
         EXPECT_TRUE(SameMap(t.StreamMaps[0], 1, 2, 0, 3));
     }},
    {"map_c_numbers",
     {{"map", "0x1:010"}},
     {},
     [](auto& t) {
         ASSERT_EQ(t.StreamMaps.size(), 1u);
         EXPECT_TRUE(SameMap(t.StreamMaps[0], 1, 8, 1, 8));
     }},
    // map_meta_data
    {"map_meta_data_stream_and_chapter",
     {{"map_meta_data", "0,s1:1,c2"}},
     {},
     [](auto& t) {
         ASSERT_EQ(t.MetadataMaps.size(), 1u);
         EXPECT_TRUE(SameSide(t.MetadataMaps[0].Out, 0, 's', 1));
         EXPECT_TRUE(SameSide(t.MetadataMaps[0].In, 1, 'c', 2));
         EXPECT_TRUE(t.MetadataGlobalAutoCopy);
         EXPECT_FALSE(t.MetadataStreamsAutoCopy);
         EXPECT_FALSE(t.MetadataChaptersAutoCopy);
     }},
    {"map_meta_data_global_output_side",
     {{"map_meta_data", "0,g:1,s0"}},
     {},
     [](auto& t) {
         ASSERT_EQ(t.MetadataMaps.size(), 1u);
         EXPECT_TRUE(SameSide(t.MetadataMaps[0].Out, 0, 'g', 0));
         EXPECT_TRUE(SameSide(t.MetadataMaps[0].In, 1, 's', 0));
         EXPECT_FALSE(t.MetadataGlobalAutoCopy);
         EXPECT_FALSE(t.MetadataStreamsAutoCopy);
         EXPECT_TRUE(t.MetadataChaptersAutoCopy);
     }},
    {"map_meta_data_without_types",
     {{"map_meta_data", "1:0"}},
     {},
     [](auto& t) {
         ASSERT_EQ(t.MetadataMaps.size(), 1u);
         EXPECT_TRUE(SameSide(t.MetadataMaps[0].Out, 1, 'g', 0));
         EXPECT_TRUE(SameSide(t.MetadataMaps[0].In, 0, 'g', 0));
         EXPECT_FALSE(t.MetadataGlobalAutoCopy);
     }},
    {"map_meta_data_bad_type", {{"map_meta_data", "0,x1:0"}}, "Invalid metadata type x.", nullptr},
    {"map_chapters",
     {{"map_chapters", "1:0"}},
     {},
     [](auto& t) {
         ASSERT_EQ(t.ChapterMaps.size(), 1u);
         EXPECT_EQ(t.ChapterMaps[0].OutFile, 1);
         EXPECT_EQ(t.ChapterMaps[0].InFile, 0);
     }},
    // codec names and stream copy
    {"vcodec_copy_then_name_keeps_copy",
     {{"vcodec", "copy"}, {"vcodec", "libx264"}},
     {},
     [](auto& t) {
         EXPECT_EQ(t.VideoStreamCopy, 1);
         EXPECT_EQ(t.VideoCodecName, std::optional<std::string>("libx264"));
     }},
    {"acodec_copy",
     {{"acodec", "copy"}},
     {},
     [](auto& t) {
         EXPECT_EQ(t.AudioStreamCopy, 1);
         EXPECT_FALSE(t.AudioCodecName.has_value());
     }},
    {"acodec_empty_keeps",
     {{"acodec", "libmp3lame"}, {"acodec", ""}},
     {},
     [](auto& t) { EXPECT_EQ(t.AudioCodecName, std::optional<std::string>("libmp3lame")); }},
    {"scodec_sets",
     {{"scodec", "mov_text"}},
     {},
     [](auto& t) {
         EXPECT_EQ(t.SubtitleCodecName, std::optional<std::string>("mov_text"));
         EXPECT_FALSE(t.VideoCodecName.has_value());
     }},
    // streams, unknown names
    {"newaudio_before_output",
     {{"newaudio", ""}},
     "At least one output file must be specified",
     nullptr},
    {"newvideo_before_output",
     {{"newvideo", ""}},
     "At least one output file must be specified",
     nullptr},
    {"unknown_name", {{"nosuchoption", "1"}}, "Unrecognized option \"nosuchoption\"", nullptr},
    // video geometry and formats
    {"r_rate",
     {{"r", "30000/1001"}},
     {},
     [](auto& t) {
         EXPECT_EQ(t.FrameRate.num, 30000);
         EXPECT_EQ(t.FrameRate.den, 1001);
     }},
    {"r_bad", {{"r", "abc"}}, "Incorrect frame rate", nullptr},
    {"r_empty_keeps",
     {{"r", ""}},
     {},
     [](auto& t) {
         EXPECT_EQ(t.FrameRate.num, 25);
         EXPECT_EQ(t.FrameRate.den, 0);
     }},
    {"s_size",
     {{"s", "hd720"}},
     {},
     [](auto& t) {
         EXPECT_EQ(t.FrameWidth, 1280);
         EXPECT_EQ(t.FrameHeight, 720);
     }},
    {"s_bad", {{"s", "bogus"}}, "Incorrect frame size", nullptr},
    {"pix_fmt",
     {{"pix_fmt", "yuv422p"}},
     {},
     [](auto& t) { EXPECT_EQ(t.FramePixFmt, AV_PIX_FMT_YUV422P); }},
    {"pix_fmt_bad", {{"pix_fmt", "nope"}}, "Unknown pixel format requested: nope", nullptr},
    {"sample_fmt",
     {{"sample_fmt", "s16"}},
     {},
     [](auto& t) { EXPECT_EQ(t.AudioSampleFmt, AV_SAMPLE_FMT_S16); }},
    {"sample_fmt_bad", {{"sample_fmt", "nope"}}, "Invalid sample format \"nope\"", nullptr},
    {"croptop_removed", {{"croptop", "8"}}, "Removed, use the crop filter instead", nullptr},
    {"padcolor_removed", {{"padcolor", "000000"}}, "Removed, use the pad filter instead", nullptr},
    {"vf_empty_keeps",
     {{"vf", "scale=320:240"}, {"vf", ""}},
     {},
     [](auto& t) { EXPECT_EQ(t.VideoFilters, "scale=320:240"); }},
    // times
    {"t_duration",
     {{"t", "10"}},
     {},
     [](auto& t) {
         EXPECT_EQ(t.RecordingTime, 10000000);
         EXPECT_EQ(t.ExpectedDuration, 10000000);
     }},
    {"ss_duration",
     {{"ss", "1:00:00.5"}},
     {},
     [](auto& t) { EXPECT_EQ(t.StartTime, 3600500000LL); }},
    {"ss_bad", {{"ss", "x"}}, "Invalid duration specification for ss: x", nullptr},
    {"timestamp_date",
     {{"timestamp", "1970-01-01 00:00:10Z"}},
     {},
     [](auto& t) { EXPECT_EQ(t.RecordingTimestamp, 10); }},
    {"timestamp_bad",
     {{"timestamp", "garbage"}},
     "Invalid date specification for timestamp: garbage",
     nullptr},
    // matrices
    {"intra_matrix_full",
     {{"intra_matrix", Numbers(1, 64) + ",99"}},
     {},
     [](auto& t) {
         ASSERT_TRUE(t.IntraMatrix);
         for (size_t i = 0; i < 64; ++i)
             EXPECT_EQ((*t.IntraMatrix)[i], i + 1);
     }},
    {"inter_matrix_short_keeps_read_coefficients",
     {{"inter_matrix", "1,2"}},
     "Syntax error in matrix \"1,2\" at coeff 1",
     [](auto& t) {
         ASSERT_TRUE(t.InterMatrix);
         EXPECT_EQ((*t.InterMatrix)[0], 1);
         EXPECT_EQ((*t.InterMatrix)[1], 2);
         EXPECT_EQ((*t.InterMatrix)[2], 0);
     }},
    // bitstream filters
    {"vbsf_appends",
     {{"vbsf", "h264_mp4toannexb"}},
     {},
     [](auto& t) {
         EXPECT_EQ(t.VideoBitstreamFilters.size(), 1u);
         EXPECT_TRUE(t.AudioBitstreamFilters.empty());
     }},
    {"absf_ignores_arguments",
     {{"absf", "aac_adtstoasc=whatever"}, {"absf", "null"}},
     {},
     [](auto& t) { EXPECT_EQ(t.AudioBitstreamFilters.size(), 2u); }},
    {"sbsf_leading_eq_ignored",
     {{"sbsf", "=null"}},
     {},
     [](auto& t) { EXPECT_TRUE(t.SubtitleBitstreamFilters.empty()); }},
    {"vbsf_unknown", {{"vbsf", "nosuch "}}, "Unknown bitstream filter nosuch", nullptr},
    // other fields
    {"aq_float", {{"aq", "4.97"}}, {}, [](auto& t) { EXPECT_EQ(t.AudioQScale, 4.97f); }},
    {"f_empty_keeps",
     {{"f", "wav"}, {"f", ""}},
     {},
     [](auto& t) { EXPECT_EQ(t.ForcedFormat, "wav"); }},
    {"vframes",
     {{"vframes", "100"}},
     {},
     [](auto& t) {
         EXPECT_EQ(t.MaxFrames[MaxFramesVideo], 100);
         EXPECT_EQ(t.MaxFrames[MaxFramesAudio], INT_MAX);
     }},
    {"dframes", {{"dframes", "7"}}, {}, [](auto& t) { EXPECT_EQ(t.MaxFrames[MaxFramesData], 7); }},
    {"copyts_empty_sets", {{"copyts", ""}}, {}, [](auto& t) { EXPECT_TRUE(t.CopyTs); }},
    {"vstats_on",
     {{"vstats", "1"}},
     {},
     [](auto& t) {
         ASSERT_TRUE(t.VstatsFileName.has_value());
         const std::string prefix = ExecutableFolder() + "vstats_";
         EXPECT_EQ(t.VstatsFileName->rfind(prefix, 0), 0u);
         EXPECT_EQ(t.VstatsFileName->size(), prefix.size() + 6 + 4);
         EXPECT_EQ(t.VstatsFileName->substr(t.VstatsFileName->size() - 4), ".log");
     }},
    {"vstats_off",
     {{"vstats", "1"}, {"vstats", "0"}},
     {},
     [](auto& t) { EXPECT_FALSE(t.VstatsFileName.has_value()); }},
    {"vstats_file",
     {{"vstats_file", "x.log"}},
     {},
     [](auto& t) { EXPECT_EQ(t.VstatsFileName, std::optional<std::string>("x.log")); }},
    {"tvstd",
     {{"tvstd", "pal"}},
     {},
     [](auto& t) { EXPECT_EQ(t.VideoStandard, std::optional<std::string>("pal")); }},
};

class EngineOptionTable : public TEngineTest {};

TEST_F(EngineOptionTable, EachCaseAppliesOrRaises) {
    for (const TOptionCase& c : OptionCases) {
        SCOPED_TRACE(c.Title);
        TTestTask task;
        for (size_t i = 0; i + 1 < c.Steps.size(); ++i)
            ASSERT_EQ(RaisedMessage([&] { task.ParseOption(c.Steps[i].first, c.Steps[i].second); }),
                      std::nullopt);
        const auto& [name, value] = c.Steps.back();
        EXPECT_EQ(RaisedMessage([&] { task.ParseOption(name, value); }), c.Error);
        if (c.Check)
            c.Check(task);
    }
}

TEST_F(EngineOptionTable, UnknownNameIsIgnoredWithoutRaiseOptionErrors) {
    TTestTask task;
    task.RaiseOptionErrors = false;
    EXPECT_EQ(RaisedMessage([&] { task.ParseOption("nosuchoption", "1"); }), std::nullopt);
    EXPECT_TRUE(task.OptionContext->Names.empty());
}

// An empty name is refused by the library option store; the raised text is whatever the
// last rejected library option left.
TEST_F(EngineOptionTable, EmptyNameRaisesTheCurrentLastOptionError) {
    TTestTask task;
    ASSERT_TRUE(RaisedMessage([&] { task.ParseOption("nosuchoption", "1"); }).has_value());
    EXPECT_EQ(RaisedMessage([&] { task.ParseOption("", "1"); }),
              std::optional<std::string>("Unrecognized option \"nosuchoption\""));
    LastOptionError.clear();
    EXPECT_EQ(RaisedMessage([&] { task.ParseOption("", ""); }), std::optional<std::string>(""));
}

TEST_F(EngineOptionTable, LowBitRateWarnsAndBitsPerSecondDoNot) {
    const std::string warning = "WARNING: The bitrate parameter is set too low. It takes "
                                "bits/s as argument, not kbits/s";
    TTestTask task;
    {
        TLogCapture log;
        task.ParseOption("ab", "128");
        const auto found = log.Matching(warning);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].Level, llWarning);
        EXPECT_EQ(found[0].Sender, &task);
    }
    TLogCapture log;
    task.ParseOption("ab", "128000");
    task.ParseOption("vb", "64000");
    EXPECT_TRUE(log.Matching(warning).empty());
    EXPECT_EQ(task.OptionContext->CodecContexts[AVMEDIA_TYPE_AUDIO]->bit_rate, 128000);
}

TEST_F(EngineOptionTable, InformationalNamesOnlyLog) {
    TTestTask task;
    TLogCapture log;
    task.ParseOption("y", "");
    task.ParseOption("timelimit", "10");
    const auto nothing = log.Matching("Do nothing: option - y");
    ASSERT_EQ(nothing.size(), 1u);
    EXPECT_EQ(nothing[0].Level, llInfo);
    const auto limit = log.Matching("Warning: -timelimit not implemented on Windows");
    ASSERT_EQ(limit.size(), 1u);
    EXPECT_EQ(limit[0].Level, llWarning);
}

TEST_F(EngineOptionTable, FormatListsLogOneLinePerFormatAndChangeNothing) {
    TTestTask task;
    TLogCapture log;
    task.ParseOption("sample_fmt", "list");
    EXPECT_EQ(task.AudioSampleFmt, -1);
    // The header line and one line per sample format.
    EXPECT_EQ(log.Entries().size(), static_cast<size_t>(AV_SAMPLE_FMT_NB) + 1);
    EXPECT_EQ(log.Matching("s16p").size(), 1u);
}

TEST_F(EngineOptionTable, LogLevelTakesWordsAnyCaseAndLibraryNumbers) {
    TTestTask task;
    const TLogLevel before = FFLogger()->LogLevel();
    task.ParseOption("loglevel", "WARNING");
    EXPECT_EQ(FFLogger()->LogLevel(), llWarning);
    task.ParseOption("loglevel", "48");
    EXPECT_EQ(FFLogger()->LogLevel(), llDebug);
    EXPECT_EQ(RaisedMessage([&] { task.ParseOption("loglevel", "loud"); }),
              std::optional<std::string>("'loud' is not a valid integer value"));
    FFLogger()->SetLogLevel(before);
}

TEST_F(EngineOptionTable, TsScalesGoToTheSlotOfTheNextInput) {
    TTestTask task;
    task.InputFiles.push_back(std::make_unique<EngineInputFile>());
    task.ParseOption("itsscale", "1:2.5");
    ASSERT_EQ(task.TsScales.size(), 2u);
    EXPECT_TRUE(task.TsScales[0].empty());
    EXPECT_EQ(task.TsScales[1], (std::vector<double>{0.0, 2.5}));
}

} // namespace
