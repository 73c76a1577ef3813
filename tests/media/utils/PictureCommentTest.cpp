// The Ogg picture comment: base64 and the FLAC picture block it encodes.
#include <gtest/gtest.h>

#include <string>

#include "utils/PictureComment.h"

namespace {

uint32_t BigEndianAt(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<uint8_t>(bytes.at(at + i));
    return value;
}

TEST(Base64Encode, GivesTheStandardTextWithPadding) {
    const struct {
        const char* Plain;
        const char* Encoded;
    } rows[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Base64Encode(row.Plain), row.Encoded) << row.Plain;
    // Every byte value, the high ones and the alphabet's last characters included.
    EXPECT_EQ(Base64Encode(std::string("\xff\xfe\xfd\x00\x3e\x3f", 6)), "//79AD4/");
}

TEST(FlacPictureBlock, PutsEveryFieldInOrderBigEndian) {
    TPictureBlock picture;
    picture.Type = 4;
    picture.MimeType = "image/png";
    picture.Description = "Back";
    picture.Width = 640;
    picture.Height = 0x01020304;
    picture.Depth = 24;
    picture.Colors = 0;
    const std::string data("\x89PNG\0\1", 6);
    picture.Data = data;

    const std::string block = FlacPictureBlock(picture);
    ASSERT_EQ(block.size(), 4 + 4 + 9 + 4 + 4 + 16 + 4 + 6u);
    EXPECT_EQ(BigEndianAt(block, 0), 4u);
    EXPECT_EQ(BigEndianAt(block, 4), 9u);
    EXPECT_EQ(block.substr(8, 9), "image/png");
    EXPECT_EQ(BigEndianAt(block, 17), 4u);
    EXPECT_EQ(block.substr(21, 4), "Back");
    EXPECT_EQ(BigEndianAt(block, 25), 640u);
    EXPECT_EQ(BigEndianAt(block, 29), 0x01020304u);
    EXPECT_EQ(BigEndianAt(block, 33), 24u);
    EXPECT_EQ(BigEndianAt(block, 37), 0u);
    EXPECT_EQ(BigEndianAt(block, 41), 6u);
    EXPECT_EQ(block.substr(45), data);
    EXPECT_EQ(PictureCommentValue(picture), Base64Encode(block));
}

TEST(PictureTypeOfName, ReadsTheDemuxersNames) {
    EXPECT_EQ(PictureTypeOfName("Other"), 0);
    EXPECT_EQ(PictureTypeOfName("Cover (front)"), 3);
    EXPECT_EQ(PictureTypeOfName("cover (BACK)"), 4);
    EXPECT_EQ(PictureTypeOfName("Publisher/Studio logotype"), 20);
    EXPECT_EQ(PictureTypeOfName("Cover"), -1);
    EXPECT_EQ(PictureTypeOfName(""), -1);
}

TEST(PictureMimeType, KnowsThePictureCodecs) {
    EXPECT_STREQ(PictureMimeType(AV_CODEC_ID_MJPEG), "image/jpeg");
    EXPECT_STREQ(PictureMimeType(AV_CODEC_ID_PNG), "image/png");
    EXPECT_EQ(PictureMimeType(AV_CODEC_ID_MP3), nullptr);
}

} // namespace
