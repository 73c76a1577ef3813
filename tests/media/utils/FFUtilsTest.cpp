// Texts of times, error codes, media types and codecs; the time-stamp correction; the
// whole-file reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "FFLoad.h"
#include "binding/AVCodecStubs.h"
#include "binding/AVUtilStubs.h"
#include "utils/FFUtils.h"

namespace {

class FFUtilsLoaded : public ::testing::Test {
protected:
    void SetUp() override {
        FFLoader->SetLibraryPath(AUDIOCONV_LIB_DIR);
        ASSERT_TRUE(FFLoader->Load(EncoderLibraries)) << FFLoader->LastErrMsg();
    }
};

TEST(FFUtilsDurationToStr, FormatsHoursMinutesSecondsMilliseconds) {
    const struct {
        int64_t Value;
        const char* Text;
    } cases[] = {
        {3723004000LL, "01:02:03.004"},
        {90000000000LL, "25:00:00.000"}, // hours are not reduced modulo 24
        {AV_NOPTS_VALUE, "N/A"},
        {0, "00:00:00.000"},
        {1999, "00:00:00.001"}, // milliseconds truncate
        {59999999, "00:00:59.999"},
        {360000000000LL, "100:00:00.000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DurationToStr(c.Value), c.Text) << c.Value;
}

TEST_F(FFUtilsLoaded, FormatErrorMessageJoinsPrefixAndText) {
    EXPECT_EQ(FormatErrorMessage("a.mp3", -2), "a.mp3: No such file or directory");
}

TEST_F(FFUtilsLoaded, ErrorTextsOfTheTableAndTheFallbacks) {
    const struct {
        int Code;
        const char* Text;
    } cases[] = {
        // tagged codes
        {-1481985528, "Muxer not found"},
        {-1163346256, "Not yet implemented in FFmpeg"}, // the table's text, not FFmpeg's
        {-1128613112, "Decoder not found"},
        // system error numbers
        {-1, "Operation not permitted"},
        {-22, "Invalid argument / Invalid data found when processing input"},
        {-32, "End of file"},
        {-42, "Unknown format"},
        {-84, "Illegal byte sequence"},
        {-131, "State not recoverable"},
        // Windows Sockets codes: aliases, the run -10038..-10061, own names
        {-10004, "Interrupted function call"},
        {-10036, "Operation now in progress"},
        {-10038, "Socket operation on non-socket"},
        {-10050, "Network is down"},
        {-10061, "Connection refused"},
        {-10071, "Object is remote"},
        {-10035, "WSAEWOULDBLOCK"},
        {-11004, "WSANO_DATA"},
        // absent everywhere
        {-41, "Error number -41 occurred"},
        {-58, "Error number -58 occurred"},
        {-10010, "Error number -10010 occurred"},
        {-123456789, "Error number -123456789 occurred"},
        {0, "Error number 0 occurred"},
        {5, "Error number 5 occurred"},
        // this platform's mapping: today's tagged codes the table lacks take FFmpeg's text
        {AVERROR_INVALIDDATA, "Invalid data found when processing input"},
        {AVERROR_EOF, "End of file"},
        {AVERROR_EXIT, "Immediate exit requested"},
        {AVERROR_OPTION_NOT_FOUND, "Option not found"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatErrorMessage("f", c.Code), std::string("f: ") + c.Text) << c.Code;
}

TEST(FFUtilsErrorTable, HoldsTwoHundredCodes) {
    EXPECT_EQ(ErrorCodeTableSize(), 200u);
}

TEST(FFUtilsMediaTypeToStr, NamesTheFiveTypesAndUnknown) {
    const struct {
        int Type;
        const char* Text;
    } cases[] = {{AVMEDIA_TYPE_VIDEO, "Video"},
                 {AVMEDIA_TYPE_AUDIO, "Audio"},
                 {AVMEDIA_TYPE_DATA, "Data"},
                 {AVMEDIA_TYPE_SUBTITLE, "Subtitle"},
                 {AVMEDIA_TYPE_ATTACHMENT, "Attachment"},
                 {-1, "Unknown"},
                 {5, "Unknown"}};
    for (const auto& c : cases)
        EXPECT_EQ(MediaTypeToStr(c.Type), c.Text) << c.Type;
}

constexpr uint32_t Tag(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

struct TCodecContextFree {
    void operator()(AVCodecContext* c) const { ff::avcodec_free_context(&c); }
};

TEST_F(FFUtilsLoaded, CodecDisplayNameOfAKnownCodec) {
    std::unique_ptr<AVCodecContext, TCodecContextFree> ctx(ff::avcodec_alloc_context3(nullptr));
    ASSERT_TRUE(ctx);
    ctx->codec_id = AV_CODEC_ID_FLAC;
    EXPECT_EQ(CodecDisplayName(ctx.get(), false), "flac(FLAC (Free Lossless Audio Codec))");
}

TEST_F(FFUtilsLoaded, CodecDisplayNameLooksInTheRequestedDirection) {
    // Monkey's Audio can be decoded but not encoded: the encoder side falls back to the
    // codec's registered name.
    EXPECT_EQ(CodecDisplayName(AV_CODEC_ID_APE, 0, false), "ape(Monkey's Audio)");
    EXPECT_EQ(CodecDisplayName(AV_CODEC_ID_APE, 0, true), "ape");
    EXPECT_EQ(CodecDisplayName(AV_CODEC_ID_MPEG2TS, 0, false), "mpeg2ts");
}

TEST_F(FFUtilsLoaded, CodecDisplayNameOfAnUnknownCodecShowsTheTag) {
    std::unique_ptr<AVCodecContext, TCodecContextFree> ctx(ff::avcodec_alloc_context3(nullptr));
    ASSERT_TRUE(ctx);
    ctx->codec_id = AV_CODEC_ID_NONE;
    ctx->codec_tag = Tag('X', 'V', 'I', 'D');
    EXPECT_EQ(CodecDisplayName(ctx.get(), false), "XVID / 0x44495658");
    EXPECT_EQ(CodecDisplayName(AV_CODEC_ID_NONE, Tag('X', 'V', 'I', '\x1F'), false), "0x1f495658");
    EXPECT_EQ(CodecDisplayName(AV_CODEC_ID_NONE, 0, false), "0x0000");
}

TEST(FFUtilsIsPrintableChar, AcceptsOnly32To126) {
    EXPECT_FALSE(IsPrintableChar(31));
    EXPECT_TRUE(IsPrintableChar(32));
    EXPECT_TRUE(IsPrintableChar(126));
    EXPECT_FALSE(IsPrintableChar(127));
    EXPECT_FALSE(IsPrintableChar(200));
}

struct TDictFree {
    void operator()(AVDictionary* d) const { ff::av_dict_free(&d); }
};

TEST_F(FFUtilsLoaded, MetadataValueIgnoresLetterCase) {
    AVDictionary* raw = nullptr;
    ASSERT_GE(ff::av_dict_set(&raw, "Title", "Song", 0), 0);
    std::unique_ptr<AVDictionary, TDictFree> dict(raw);
    EXPECT_EQ(MetadataValue(dict.get(), "title", "-"), "Song");
    EXPECT_EQ(MetadataValue(dict.get(), "tit", "-"), "-");
    EXPECT_EQ(MetadataValue(nullptr, "title", "-"), "-");
}

// One call of GuessCorrectPts and what it must leave behind.
struct TPtsStep {
    int64_t Pts;
    int64_t Dts;
    int64_t Result;
    int64_t FaultyPts;
    int64_t FaultyDts;
};
constexpr int64_t NoPts = AV_NOPTS_VALUE;

void RunPtsSteps(const std::vector<TPtsStep>& steps) {
    PtsCorrection ctx;
    ctx.FaultyPtsCount = 7; // reset must clear everything
    ctx.LastDts = 100;
    InitPtsCorrection(ctx);
    for (size_t i = 0; i < steps.size(); ++i) {
        const TPtsStep& s = steps[i];
        EXPECT_EQ(GuessCorrectPts(ctx, s.Pts, s.Dts), s.Result) << "step " << i;
        EXPECT_EQ(ctx.FaultyPtsCount, s.FaultyPts) << "step " << i;
        EXPECT_EQ(ctx.FaultyDtsCount, s.FaultyDts) << "step " << i;
    }
}

TEST(FFUtilsGuessCorrectPts, BothAbsentChangesNothing) {
    PtsCorrection ctx;
    InitPtsCorrection(ctx);
    EXPECT_EQ(GuessCorrectPts(ctx, NoPts, NoPts), NoPts);
    EXPECT_EQ(ctx.FaultyPtsCount, 0);
    EXPECT_EQ(ctx.FaultyDtsCount, 0);
    EXPECT_EQ(ctx.LastPts, NoPts);
    EXPECT_EQ(ctx.LastDts, NoPts);
}

TEST(FFUtilsGuessCorrectPts, ReorderedStampWinsTiesUntilItGoesBack) {
    RunPtsSteps({{10, 0, 10, 0, 0}, {30, 10, 30, 0, 0}, {20, 20, 20, 1, 0}, {40, 30, 30, 1, 0}});
}

TEST(FFUtilsGuessCorrectPts, DecodeStampWinsWhenItWasFaultyLessOften) {
    RunPtsSteps({{5, 5, 5, 0, 0},
                 {5, 6, 6, 1, 0},     // repeated reordered stamp
                 {NoPts, 7, 7, 1, 0}, // reordered absent
                 {8, NoPts, 8, 1, 0}, // decode absent: the reordered stamp is all there is
                 {9, 7, 9, 1, 1},     // decode went back: tie again
                 {10, 6, 10, 1, 2}}); // decode faulty more often
}

class FFUtilsReadFile : public FFUtilsLoaded {
protected:
    void SetUp() override {
        FFUtilsLoaded::SetUp();
        dir_ = std::filesystem::path(AUDIOCONV_TEST_TMP_DIR) / "FFUtilsReadFile";
        std::filesystem::create_directories(dir_);
    }
    std::string Write(const std::string& name, const std::string& content) {
        const std::filesystem::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    std::filesystem::path dir_;
};

TEST_F(FFUtilsReadFile, EmptyFileGivesOneZeroByte) {
    TAVMallocBuffer buf;
    size_t size = 99;
    ASSERT_EQ(ReadFileToBuffer(Write("empty.txt", ""), buf, size), 0);
    ASSERT_TRUE(buf);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(buf[0], 0);
}

TEST_F(FFUtilsReadFile, ContentIsFollowedByAZeroByte) {
    const std::string content("a\0b\r\n", 5);
    TAVMallocBuffer buf;
    size_t size = 0;
    ASSERT_EQ(ReadFileToBuffer(Write("data.bin", content), buf, size), 0);
    ASSERT_EQ(size, content.size() + 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf.get()), content.size()), content);
    EXPECT_EQ(buf[content.size()], 0);
}

TEST_F(FFUtilsReadFile, MissingFileOrFolderFails) {
    TAVMallocBuffer buf;
    size_t size = 5;
    EXPECT_EQ(ReadFileToBuffer((dir_ / "missing.txt").string(), buf, size), -1);
    EXPECT_FALSE(buf);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(ReadFileToBuffer(dir_.string(), buf, size), -1);
    EXPECT_FALSE(buf);
}

} // namespace
