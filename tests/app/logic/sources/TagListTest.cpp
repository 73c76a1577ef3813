// The one tag vocabulary: the containers' spellings become one name, "n/N" becomes a number
// and its total, repeated values stay apart, file-describing keys are left out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sources/TagList.h"

namespace {

TEST(TagList, ContainerSpellingsBecomeOneVocabulary) {
    TTagList tags;
    const std::pair<const char*, const char*> input[] = {
        {"TITLE", "Song"},         {"album_artist", "Band"}, {"TRACKNUMBER", "3/12"},
        {"disc", "1/2"},           {"ARTIST", "Ann"},        {"artist", "Bob"},
        {"encoder", "Lavf59"},     {"major_brand", "M4A "},  {"MUSICBRAINZ_ALBUMID", "id"},
        {"Album Artist", "Other"}, {"COMMENT", ""},
    };
    for (const auto& [key, value] : input)
        AddTagValue(tags, key, value);
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {"title", {"Song"}},
        {"albumartist", {"Band", "Other"}},
        {"track", {"3"}},
        {"tracktotal", {"12"}},
        {"disc", {"1"}},
        {"disctotal", {"2"}},
        {"artist", {"Ann", "Bob"}},
        {"musicbrainz_albumid", {"id"}},
    };
    ASSERT_EQ(tags.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(tags[i].Name, expected[i].first);
        EXPECT_EQ(tags[i].Values, expected[i].second) << tags[i].Name;
    }
}

} // namespace
