// JSON text: every string the writer escapes parses back to the same text, and the facts of
// a file make one object.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "JsonText.h"
#include "sources/FileReport.h"

namespace {

using nlohmann::json;

TEST(JsonString, ParsesBackToTheSameText) {
    const std::string rows[] = {
        "",
        "plain",
        "quote \" and backslash \\",
        "line\nbreak\r\ttab",
        std::string("nul ") + '\0' + " bell \x07 escape \x1b delete \x7f",
        "Ünïcödé — 日本語 🎵",
        "/path/with spaces/and'quotes.mp3",
    };
    for (const std::string& text : rows) {
        const std::string written = JsonString(text);
        json parsed;
        ASSERT_NO_THROW(parsed = json::parse(written)) << written;
        EXPECT_EQ(parsed.get<std::string>(), text) << written;
        for (char c : written)
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20) << "raw control byte in " << written;
    }
}

TEST(JsonString, InvalidUtf8BecomesReplacementCharacters) {
    const struct {
        std::string Text;
        std::string Expected;
    } rows[] = {
        {"a\xff"
         "b",
         "a\xef\xbf\xbd"
         "b"},                                                    // a byte that never starts UTF-8
        {"\xc3", "\xef\xbf\xbd"},                                 // a cut sequence
        {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},                 // an overlong form
        {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"}, // a surrogate
    };
    for (const auto& row : rows) {
        json parsed;
        ASSERT_NO_THROW(parsed = json::parse(JsonString(row.Text)));
        EXPECT_EQ(parsed.get<std::string>(), row.Expected);
    }
}

TEST(FileReportJson, HoldsTheFactsAndNullsForTheUnknown) {
    TFileReport report;
    report.Facts.Duration = 2500000;
    report.Facts.FileSize = 1234;
    report.Facts.AudioCodecName = "flac";
    report.Facts.Channels = 2;
    report.Facts.SampleRate = 44100;
    report.Container = "flac";
    report.ContainerLongName = "raw FLAC";
    report.Tags = {{"title", "Intro \"live\""}, {"ARTIST", "Band"}};
    report.Vocabulary = {{"title", {"Intro \"live\""}}, {"artist", {"Band", "Guest"}}};
    report.BitsPerSample = 24;
    const json object = json::parse(FileReportJson("a/01 Intro.flac", report));
    EXPECT_EQ(object["path"], "a/01 Intro.flac");
    EXPECT_EQ(object["container"], "flac");
    EXPECT_EQ(object["duration_us"], 2500000);
    EXPECT_EQ(object["duration"], "00:00:02.500");
    EXPECT_EQ(object["channels"], 2);
    EXPECT_EQ(object["tags"]["title"], "Intro \"live\"");
    EXPECT_EQ(object["tags"]["artist"], json::array({"Band", "Guest"}));
    EXPECT_EQ(object["raw_tags"]["title"], "Intro \"live\"");
    EXPECT_EQ(object["raw_tags"]["ARTIST"], "Band");
    EXPECT_EQ(object["bits_per_sample"], 24);
    EXPECT_FALSE(object.contains("dropped"));
    EXPECT_TRUE(object["audio_bit_rate"].is_null());
    EXPECT_TRUE(object["video_codec"].is_null());
    EXPECT_TRUE(object["frame_rate"].is_null());
    EXPECT_TRUE(object["cover_art"].is_null());
    EXPECT_EQ(object["pictures"], json::array());

    TAttachedPictureInfo front;
    front.StreamIndex = 1;
    front.CodecName = "png";
    front.Width = 300;
    front.Height = 200;
    front.Size = 4096;
    report.Pictures = {front};
    const json withPicture = json::parse(FileReportJson("x", report));
    EXPECT_EQ(withPicture["cover_art"], json::parse(R"({"codec":"png","width":300,"height":200,
                                                        "size":4096})"));
    EXPECT_EQ(withPicture["pictures"], json::array({withPicture["cover_art"]}));

    // A further picture with the texts its container gives; cover_art stays the first.
    TAttachedPictureInfo back;
    back.CodecName = "mjpeg";
    back.Size = 900;
    back.Comment = "Cover (back)";
    back.Title = "Back \"side\"";
    report.Pictures.push_back(back);
    const json two = json::parse(FileReportJson("x", report));
    EXPECT_EQ(two["cover_art"], withPicture["cover_art"]);
    ASSERT_EQ(two["pictures"].size(), 2u);
    EXPECT_EQ(two["pictures"][1], json::parse(R"j({"codec":"mjpeg","width":null,"height":null,
        "size":900,"comment":"Cover (back)","title":"Back \"side\""})j"));
    const json error = json::parse(FileErrorJson("bad\n.mp3", "cannot read"));
    EXPECT_EQ(error, json::parse(R"({"path":"bad\n.mp3","error":"cannot read"})"));
}

} // namespace
