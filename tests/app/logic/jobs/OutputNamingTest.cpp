// Output names: patterns filled from tags (with the fall-back when a tag is missing), names
// made safe for file systems, and the place of an output under each existing-output policy.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "AppTestEnv.h"
#include "jobs/OutputClaim.h"
#include "jobs/OutputNaming.h"

namespace {

namespace fs = std::filesystem;

TSourceTags Tagged() {
    TSourceTags tags;
    tags.Artist = "Artist A";
    tags.AlbumArtist = "Various";
    tags.Album = "Album 1";
    tags.Title = "Intro";
    tags.Track = "1/12";
    tags.Disc = "2/2";
    tags.Year = "2004-03-01";
    tags.Genre = "Jazz";
    return tags;
}

TEST(NamePattern, FieldsFromTagsAndFallBackWhenOneIsMissing) {
    TSourceTags odd = Tagged();
    odd.Artist = "AC/DC";
    odd.Album = "Back: in Black?";
    odd.Title = "Hells Bells...";
    odd.Track = "007";
    TSourceTags noAlbum = Tagged();
    noAlbum.Album = "  ";
    TSourceTags dots = Tagged();
    dots.Title = "..";
    const struct {
        const char* Pattern;
        TSourceTags Tags;
        const char* Expected;
    } cases[] = {
        {"{artist}/{album}/{track} {title}", Tagged(), "Artist A/Album 1/01 Intro"},
        {"{albumartist} - {year} - {disc}-{track} {genre}", Tagged(), "Various - 2004 - 2-01 Jazz"},
        {"{filename} ({artist})", Tagged(), "01 intro (Artist A)"},
        // A tag's "/" makes no folder; refused characters and trailing dots go.
        {"{artist}/{album}/{track} {title}", odd, "AC_DC/Back_ in Black_/07 Hells Bells"},
        // A missing (or blank) tag: no name, the caller keeps the source's own.
        {"{artist}/{album}/{title}", noAlbum, ""},
        {"{artist}/{album}/{title}", TSourceTags(), ""},
        // No folder climbs out or starts at the root, no part is empty or hidden.
        {"/{artist}//{title}", dots, "Artist A/_"},
        {"../{title}", Tagged(), "_/Intro"},
        {"{title}", TSourceTags{"", "", "", "  Two  Spaces  ", "", "", "", ""}, "Two  Spaces"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExpandNamePattern(c.Pattern, c.Tags, "01 intro"), c.Expected) << c.Pattern;
}

TEST(NamePattern, UnknownFieldsAndEmptyPatternsAreRefused) {
    EXPECT_EQ(NamePatternProblem("{artist}/{album}/{track} {title}"), "");
    EXPECT_EQ(NamePatternProblem("{year} {filename} {x"), "");
    EXPECT_NE(NamePatternProblem("{artist}/{song}")
                  .find("unknown field {song}; the fields are "
                        "{artist} {albumartist}"),
              std::string::npos);
    for (const char* empty : {"", "/", " / "})
        EXPECT_EQ(NamePatternProblem(empty), "the pattern gives no name") << empty;
}

TEST(NamePattern, SafePartsKeepWholeCharactersAndRoomForNumbers) {
    EXPECT_EQ(SafeNamePart("a\\b:c*d?e\"f<g>h|i\tj"), "a_b_c_d_e_f_g_h_i_j");
    EXPECT_EQ(SafeNamePart(".hidden"), "hidden");
    EXPECT_EQ(SafeNamePart("end. . "), "end");
    EXPECT_EQ(SafeNamePart("..."), "_");
    // 150 two-byte characters: cut to 100 of them (200 bytes), none split.
    std::string long_;
    for (int i = 0; i < 150; ++i)
        long_ += "\xc3\xa9"; // é
    const std::string cut = SafeNamePart(long_);
    EXPECT_EQ(cut.size(), 200u);
    EXPECT_EQ(cut, long_.substr(0, 200));
    EXPECT_EQ(SafeNamePart("x" + long_).size(), 199u) << "a character is never split";
}

TEST(ExistingOutputsNames, EachPolicyByItsName) {
    TExistingOutputs policy = TExistingOutputs::Skip;
    ASSERT_TRUE(ExistingOutputsOf("increment", policy));
    EXPECT_EQ(policy, TExistingOutputs::Increment);
    ASSERT_TRUE(ExistingOutputsOf("newer", policy));
    EXPECT_EQ(policy, TExistingOutputs::Newer);
    EXPECT_FALSE(ExistingOutputsOf("Overwrite", policy));
    EXPECT_FALSE(ExistingOutputsOf("", policy));
}

// Sets the modification time of `path` `seconds` from now.
void SetAge(const std::string& path, int seconds) {
    const auto when = fs::file_time_type::clock::now() + std::chrono::seconds(seconds);
    fs::last_write_time(path, when);
}

TEST(OutputPlan, EachPolicyOnTakenNames) {
    const std::string dir = apptest::FreshDir("plan");
    const std::string source = dir + "src/song.flac";
    fs::create_directories(dir + "src");
    fs::create_directories(dir + "out/sub");
    apptest::WriteFile(source, "source");
    SetAge(source, -100);
    apptest::WriteFile(dir + "out/old.mp3", "older than the source");
    SetAge(dir + "out/old.mp3", -200);
    apptest::WriteFile(dir + "out/new.mp3", "newer than the source");
    // Being written by a job of another process that is running (the test's parent).
    apptest::WriteFile(ClaimTemporaryName(dir + "out/busy.mp3", static_cast<long>(getppid()), 3),
                       "being written");
    fs::create_directories(dir + "out/dir.mp3");
    fs::create_symlink(dir + "nowhere", dir + "out/link.mp3");
    const std::string out = dir + "out";

    using E = TExistingOutputs;
    const struct {
        const char* Name;
        E Policy;
        const char* Path; // relative to out/
        bool Skip;
        bool Replace;
    } cases[] = {
        {"free.mp3", E::Skip, "free.mp3", false, false},
        {"sub/free.mp3", E::Overwrite, "sub/free.mp3", false, false},
        {"old.mp3", E::Increment, "old(1).mp3", false, false},
        {"old.mp3", E::Skip, "old.mp3", true, false},
        {"old.mp3", E::Overwrite, "old.mp3", false, true},
        {"old.mp3", E::Newer, "old.mp3", false, true},
        {"new.mp3", E::Newer, "new.mp3", true, false},
        // Being written by another process: numbered past, replaced once written, or skipped.
        {"busy.mp3", E::Increment, "busy(1).mp3", false, false},
        {"busy.mp3", E::Overwrite, "busy.mp3", false, true},
        {"busy.mp3", E::Skip, "busy.mp3", true, false},
        {"busy.mp3", E::Newer, "busy.mp3", true, false},
        // Not a file: numbered past under every policy.
        {"dir.mp3", E::Overwrite, "dir(1).mp3", false, false},
        // A link is replaced itself, never what it leads to.
        {"link.mp3", E::Overwrite, "link.mp3", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(static_cast<int>(c.Policy)));
        const TOutputPlan plan = PlanOutputPath(out, c.Name, c.Policy, source, {});
        EXPECT_EQ(plan.Path, out + "/" + c.Path);
        EXPECT_EQ(plan.Skip, c.Skip);
        EXPECT_EQ(plan.Replace, c.Replace);
        const std::string reason = std::string(c.Name) == "busy.mp3"
                                       ? "is being written by another process"
                                   : c.Policy == E::Skip ? "exists"
                                                         : "is up to date";
        EXPECT_EQ(plan.Reason, c.Skip ? reason : "");
    }
}

TEST(OutputPlan, ClaimedNamesAndSourcesAreNeverTheOutput) {
    const std::string dir = apptest::FreshDir("claims");
    const std::string source = dir + "song.flac";
    apptest::WriteFile(source, "source");
    apptest::WriteFile(dir + "other.mp3", "another source of the batch");
    apptest::WriteFile(dir + "song(1).flac", "an earlier output");
    fs::create_hard_link(dir + "other.mp3", dir + "alias.mp3");
    std::set<TFileId> sources;
    AddFileIds(dir + "other.mp3", sources);

    // The source itself is at the name: the output is numbered, the earlier output replaced.
    const TOutputPlan self =
        PlanOutputPath(dir, "song.flac", TExistingOutputs::Overwrite, source, {});
    EXPECT_EQ(self.Path, dir + "song(1).flac");
    EXPECT_TRUE(self.Replace);
    // Another source of the batch, under its own name or another one.
    for (const char* name : {"other.mp3", "alias.mp3"}) {
        const TOutputPlan plan =
            PlanOutputPath(dir, name, TExistingOutputs::Overwrite, source, {}, sources);
        EXPECT_FALSE(plan.Replace) << name;
        EXPECT_NE(plan.Path, dir + name);
    }
    // A name an earlier job of the run took: the next one, and a kept output found there.
    apptest::WriteFile(dir + "a(1).mp3", "kept");
    const TOutputPlan next =
        PlanOutputPath(dir, "a.mp3", TExistingOutputs::Skip, source, {dir + "a.mp3"});
    EXPECT_EQ(next.Path, dir + "a(1).mp3");
    EXPECT_TRUE(next.Skip);
}

} // namespace
