// The claim of an output name: temporary names unique to a process and job (and short enough
// beside a long final name), leftovers of dead processes removed while live ones are kept, and
// the final rename under each commit mode.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "AppTestEnv.h"
#include "jobs/OutputClaim.h"

namespace {

namespace fs = std::filesystem;

// The id of a process that has ended (a child made and reaped).
long DeadProcessId() {
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return static_cast<long>(child);
}

std::string NameOf(const std::string& path) {
    return fs::path(path).filename().string();
}

TEST(OutputClaim, TemporaryNamesAreUniqueHiddenAndCarryTheProcess) {
    const std::string dir = apptest::FreshDir("claims");
    std::set<std::string> names;
    std::vector<std::shared_ptr<TOutputClaim>> claims;
    for (int i = 0; i < 3; ++i) {
        std::string error;
        claims.push_back(TOutputClaim::Create(dir + "song.mp3", error));
        ASSERT_TRUE(claims.back()) << error;
        const std::string temporary = claims.back()->TemporaryPath();
        EXPECT_TRUE(fs::is_regular_file(temporary));
        EXPECT_EQ(NameOf(temporary).rfind(".song." + std::to_string(getpid()) + "-", 0), 0u)
            << temporary;
        names.insert(temporary);
    }
    EXPECT_EQ(names.size(), 3u);
    EXPECT_TRUE(HasLiveClaim(dir + "song.mp3"));
    EXPECT_FALSE(HasLiveClaim(dir + "song(1).mp3"));
    claims.clear(); // uncommitted claims leave nothing
    for (const std::string& name : names)
        EXPECT_FALSE(fs::exists(name)) << name;
    EXPECT_FALSE(HasLiveClaim(dir + "song.mp3"));
}

// A final name of 250 bytes is legal; its temporary name is cut to the file system's limit
// and the output still gets the whole final name.
TEST(OutputClaim, ALongFinalNameKeepsItsLengthAndTheTemporaryOneIsCut) {
    const std::string dir = apptest::FreshDir("long");
    const std::string final = dir + std::string(246, 'n') + ".mp3";
    std::string error;
    auto claim = TOutputClaim::Create(final, error);
    ASSERT_TRUE(claim) << error;
    EXPECT_LE(NameOf(claim->TemporaryPath()).size(), 255u);
    EXPECT_TRUE(HasLiveClaim(final));
    apptest::WriteFile(claim->TemporaryPath(), "whole output");
    ASSERT_EQ(claim->Commit(TCommitMode::Keep), 0);
    EXPECT_EQ(claim->FinalPath(), final);
    EXPECT_EQ(apptest::ReadFile(final), "whole output");
}

// A killed process's temporary file is removed when the name is looked at (and by a sweep
// of the folder); a running process's one is respected.
TEST(OutputClaim, ADeadProcesssLeftoverIsRemovedALiveOneKept) {
    const std::string dir = apptest::FreshDir("leftovers");
    const std::string dead = ClaimTemporaryName(dir + "a.mp3", DeadProcessId(), 1);
    const std::string live = ClaimTemporaryName(dir + "b.mp3", static_cast<long>(getppid()), 1);
    const std::string deadToo = ClaimTemporaryName(dir + "c d.flac", DeadProcessId(), 9);
    // This process's own id on a file it does not hold: a leftover of an earlier process that
    // had the same id.
    const std::string ownId = ClaimTemporaryName(dir + "e.mp3", static_cast<long>(getpid()), 99);
    for (const std::string& path : {dead, live, deadToo, ownId})
        apptest::WriteFile(path, "part");

    EXPECT_FALSE(HasLiveClaim(dir + "a.mp3"));
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(HasLiveClaim(dir + "b.mp3"));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_EQ(RemoveDeadClaims(dir), 2);
    EXPECT_FALSE(fs::exists(deadToo));
    EXPECT_FALSE(fs::exists(ownId));
    EXPECT_TRUE(fs::exists(live));
    // Files that only look alike are not touched.
    apptest::WriteFile(dir + ".f.audioconv-part.mp3", "older naming");
    apptest::WriteFile(dir + ".g.x-1.audioconv-part.mp3", "no process id");
    EXPECT_EQ(RemoveDeadClaims(dir), 0);
    EXPECT_TRUE(fs::exists(dir + ".f.audioconv-part.mp3"));
    EXPECT_TRUE(fs::exists(dir + ".g.x-1.audioconv-part.mp3"));
}

// The final name taken meanwhile by someone else: numbered past, kept or replaced.
TEST(OutputClaim, CommitUnderEachModeWhenTheNameWasTakenMeanwhile) {
    const struct {
        const char* Name;
        TCommitMode Mode;
        const char* FinalName; // where the output ends up; empty: dropped
        const char* Kept;      // what the taken name holds afterwards
    } cases[] = {
        {"number past", TCommitMode::NumberPast, "t(2).mp3", "other"},
        {"keep", TCommitMode::Keep, "", "other"},
        {"replace", TCommitMode::Replace, "t.mp3", "ours"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string dir = apptest::FreshDir(std::string("commit ") + c.Name);
        std::string error;
        auto claim = TOutputClaim::Create(dir + "t.mp3", error);
        ASSERT_TRUE(claim) << error;
        apptest::WriteFile(claim->TemporaryPath(), "ours");
        apptest::WriteFile(dir + "t.mp3", "other");
        apptest::WriteFile(dir + "t(1).mp3", "other");
        ASSERT_EQ(claim->Commit(c.Mode), 0);
        EXPECT_FALSE(fs::exists(claim->TemporaryPath()));
        EXPECT_EQ(claim->KeptOther(), std::string(c.FinalName).empty());
        if (!std::string(c.FinalName).empty()) {
            EXPECT_EQ(claim->FinalPath(), dir + c.FinalName);
            EXPECT_EQ(apptest::ReadFile(dir + c.FinalName), "ours");
        }
        EXPECT_EQ(apptest::ReadFile(dir + "t.mp3"), c.Kept);
        EXPECT_EQ(apptest::ReadFile(dir + "t(1).mp3"), "other");
    }
}

} // namespace
