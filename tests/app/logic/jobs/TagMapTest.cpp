// Where a tag without a row of the table goes in each format, and which formats hold tags.
#include <gtest/gtest.h>

#include "jobs/TagMap.h"

namespace {

TEST(TagMap, ATagWithoutARowGoesToEachFormatsFreeFormField) {
    EXPECT_EQ(TagFieldOf("mood", TTagFormat::Id3v2), "TXXX:MOOD");
    EXPECT_EQ(TagFieldOf("mood", TTagFormat::Mp4), "----:com.apple.iTunes:MOOD");
    EXPECT_EQ(TagFieldOf("mood", TTagFormat::Vorbis), "MOOD");
    EXPECT_EQ(TagFieldOf("mood", TTagFormat::Asf), "MOOD");
    EXPECT_EQ(TagFieldOf("mood", TTagFormat::RiffInfo), "");
    EXPECT_EQ(TagFieldOf("title", TTagFormat::None), "");
    EXPECT_EQ(TagFieldOf("comment", TTagFormat::Vorbis), "COMMENT");
    EXPECT_EQ(TagFormatOf(".FLAC"), TTagFormat::Vorbis);
    EXPECT_EQ(TagFormatOf(".mkv"), TTagFormat::Untouched);
}

} // namespace
