// Job lists and shards: lists read entry by entry, shards that split any list the same way,
// the report's lines, and time-outs, on the program run over generated trees.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "CliJobClock.h"
#include "CliJobList.h"
#include "CliRun.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::vector<TListEntry> ReadAll(const std::string& text, bool nul, const std::string& base) {
    std::istringstream in(text);
    std::vector<TListEntry> entries;
    ReadJobList(in, nul, base, [&](const TListEntry& e) { entries.push_back(e); });
    return entries;
}

TEST(CliJobList, EntriesByLineOrByNulWithTheirKeys) {
    const auto lines = ReadAll("a.wav\r\n\n./Artist/b c.flac\n/abs/d.mp3", false, "lists");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].Path, "lists/a.wav");
    EXPECT_EQ(lines[0].Key, "a.wav");
    EXPECT_EQ(lines[1].Path, "lists/Artist/b c.flac");
    EXPECT_EQ(lines[1].Key, "Artist/b c.flac");
    EXPECT_EQ(lines[2].Path, "/abs/d.mp3");

    const auto names = ReadAll(std::string("x\ny.wav\0z.wav\0", 14), true, "");
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].Path, "x\ny.wav"); // a line break inside a NUL-separated name stays
    EXPECT_EQ(names[1].Path, "z.wav");
}

TEST(CliJobList, ShardTexts) {
    const std::pair<const char*, bool> cases[] = {
        {"0/1", true},  {"2/3", true}, {"3/3", false}, {"-1/3", false},
        {"1/0", false}, {"1", false},  {"a/b", false}, {"1/2/3", false},
    };
    for (const auto& [text, good] : cases) {
        TShard shard;
        std::string problem;
        EXPECT_EQ(ParseShard(text, shard, problem), good) << text;
        EXPECT_EQ(problem.empty(), good) << text << ": " << problem;
    }
}

// The N shards of a list are disjoint and hold every entry, whatever the list's order; none
// is empty for a list of a thousand names.
TEST(CliJobList, ShardsSplitEveryListTheSameWay) {
    std::vector<std::string> keys;
    for (int i = 0; i < 1000; ++i)
        keys.push_back("Artist " + std::to_string(i % 37) + "/track " + std::to_string(i) +
                       ".flac");
    std::mt19937 shuffle(7);
    for (const int n : {1, 3, 7}) {
        std::map<std::string, int> owner;
        for (int round = 0; round < 2; ++round) {
            std::shuffle(keys.begin(), keys.end(), shuffle);
            std::vector<int> sizes(n, 0);
            for (const std::string& key : keys) {
                int shards = 0;
                for (int k = 0; k < n; ++k)
                    if (InShard(key, TShard{k, n})) {
                        ++shards;
                        ++sizes[k];
                        auto [at, fresh] = owner.emplace(key, k);
                        EXPECT_EQ(at->second, k) << key << " moved between runs";
                    }
                EXPECT_EQ(shards, 1) << key << " in " << shards << " of " << n;
            }
            for (int k = 0; k < n; ++k)
                EXPECT_GT(sizes[k], 1000 / n / 2) << k << "/" << n;
        }
    }
}

TEST(CliJobClock, StartsInOrderAndGivesTheOverdueOnce) {
    TJobClock clock(3, 5.0);
    std::set<int> started = {0};
    auto poll = [&](double now) {
        clock.Poll(now, [&](int job) { return started.count(job) > 0; });
    };
    poll(10);
    EXPECT_TRUE(clock.Overdue(14).empty());
    started.insert(1);
    poll(12);
    EXPECT_EQ(clock.Overdue(15.5), std::vector<int>{0});
    EXPECT_TRUE(clock.Overdue(16).empty()) << "given once";
    EXPECT_TRUE(clock.TimedOut(0));
    clock.Ended(1, 13);
    EXPECT_DOUBLE_EQ(clock.Seconds(1, 99), 1.0);
    EXPECT_TRUE(clock.Overdue(30).empty()) << "an ended job is never overdue";
    EXPECT_DOUBLE_EQ(clock.Seconds(2, 30), 0.0) << "never started";
}

// ---- the program

std::vector<json> ReportLines(const std::string& path) {
    std::vector<json> lines;
    for (const std::string& line : clitest::Lines(apptest::ReadFile(path)))
        lines.push_back(json::parse(line)); // throws on a broken line
    return lines;
}

class CliJobListProgram : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = apptest::FreshDir("cli-joblist");
        const std::string media = testmedia::TempDir("app/cli-joblist");
        tone_ = testmedia::Make(media + "/tone.wav",
                                "-f lavfi -i sine=frequency=440:duration=0.5 -ac 1 -ar 22050");
        ASSERT_FALSE(tone_.empty());
        for (const char* name : {"A/one.wav", "A/two words.wav", "B/three.wav", "B/four.wav",
                                 "B/new\nline.wav", "five.wav"}) {
            fs::create_directories(fs::path(work_ + "lib/" + name).parent_path());
            fs::copy_file(tone_, work_ + "lib/" + name);
        }
    }
    std::string Cli(const std::string& args) {
        return "cd " + testmedia::Quote(work_) + " && " + testmedia::Quote(AUDIOCONV_CLI) + " " +
               args;
    }
    // `command` run by the shell in the work folder.
    std::string InWork(const std::string& command) {
        return "cd " + testmedia::Quote(work_) + " && " + command;
    }
    std::string work_, tone_;
};

// A list from `find -print0` on standard input, in three shards: every source converted once,
// the reports together name each once, a re-run with skip converts nothing, and a source's
// shard is the same from the list and from a search of the folder.
TEST_F(CliJobListProgram, ShardedListsFromFindConvertEverySourceOnce) {
    std::map<std::string, int> shardOf;
    for (int k = 0; k < 3; ++k) {
        const std::string report = work_ + "r" + std::to_string(k) + ".jsonl";
        const std::string command =
            InWork("cd lib && find . -name '*.wav' -print0 | " + testmedia::Quote(AUDIOCONV_CLI) +
                   " --quiet -f wav -o ../out --existing skip --files-from - --null --shard " +
                   std::to_string(k) + "/3 --report " + testmedia::Quote(report));
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        for (const json& line : ReportLines(report)) {
            if (line.contains("summary"))
                continue;
            EXPECT_EQ(line["status"], "converted") << line.dump();
            EXPECT_EQ(line["shard"], std::to_string(k) + "/3");
            const std::string source = line["source"];
            EXPECT_TRUE(shardOf.emplace(source.substr(2), k).second) << source << " twice";
        }
    }
    EXPECT_EQ(shardOf.size(), 6u);
    EXPECT_TRUE(fs::exists(work_ + "out/B/new\nline.wav"));
    EXPECT_TRUE(fs::exists(work_ + "out/A/two words.wav"));

    // The folder search puts each source into the same shard.
    for (int k = 0; k < 3; ++k) {
        const std::string report = work_ + "f" + std::to_string(k) + ".jsonl";
        const std::string command =
            Cli("--quiet -f wav -o out --existing skip --shard " + std::to_string(k) +
                "/3 --report " + testmedia::Quote(report) + " lib");
        ASSERT_EQ(std::system(command.c_str()), 0);
        for (const json& line : ReportLines(report)) {
            if (line.contains("summary")) {
                EXPECT_EQ(line["converted"], 0) << "a re-run with skip converts nothing";
                continue;
            }
            EXPECT_EQ(line["status"], "skipped");
            const std::string source = line["source"];
            EXPECT_EQ(shardOf[source.substr(4)], k) << source;
        }
    }
}

// Each line says how its source ended: converted, skipped, failed (a missing file, a file
// that is no audio, a conversion past the time-out); the summary counts them.
TEST_F(CliJobListProgram, ReportNamesHowEachSourceEnded) {
    apptest::WriteFile(work_ + "lib/bogus.wav", "not audio at all");
    const std::string slow =
        testmedia::Make(work_ + "lib/slow.wav", "-f lavfi -i sine=duration=20 -ac 1 -ar 8000");
    ASSERT_FALSE(slow.empty());
    // A relative entry keeps its folders below the output folder.
    fs::create_directories(work_ + "out/lib");
    fs::copy_file(tone_, work_ + "out/lib/five.wav");
    apptest::WriteFile(work_ + "list.txt", "lib/five.wav\nlib/A/one.wav\nlib/missing.wav\n"
                                           "lib/bogus.wav\nlib/slow.wav\n");
    const std::string command =
        Cli("--quiet -j 1 -f wav -o out --existing skip -X re --timeout 1.5 --files-from "
            "list.txt --report report.jsonl 2>/dev/null");
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
    const std::vector<json> lines = ReportLines(work_ + "report.jsonl");
    ASSERT_EQ(lines.size(), 6u);
    std::map<std::string, json> bySource;
    for (const json& line : lines)
        if (!line.contains("summary"))
            bySource[line["source"]] = line;
    EXPECT_EQ(bySource["lib/five.wav"]["status"], "skipped");
    EXPECT_EQ(bySource["lib/A/one.wav"]["status"], "converted");
    EXPECT_GT(bySource["lib/A/one.wav"]["output_size"].get<int64_t>(), 0);
    EXPECT_NEAR(bySource["lib/A/one.wav"]["output_duration"].get<double>(), 0.5, 0.05);
    EXPECT_EQ(bySource["lib/missing.wav"]["status"], "failed");
    EXPECT_EQ(bySource["lib/bogus.wav"]["status"], "failed");
    EXPECT_NE(bySource["lib/bogus.wav"]["error"].get<std::string>(), "");
    EXPECT_EQ(bySource["lib/slow.wav"]["status"], "failed");
    EXPECT_EQ(bySource["lib/slow.wav"]["error"], "timed out after 1.5 s");
    EXPECT_FALSE(fs::exists(work_ + "out/lib/slow.wav")) << "a stopped job leaves nothing";
    EXPECT_TRUE(fs::exists(work_ + "out/lib/A/one.wav"));
    const json& summary = lines.back();
    ASSERT_TRUE(summary.contains("summary"));
    EXPECT_EQ(summary["converted"], 1);
    EXPECT_EQ(summary["skipped"], 1);
    EXPECT_EQ(summary["failed"], 3);
    EXPECT_EQ(summary["cancelled"], 0);
}

// A run stopped by SIGTERM leaves a report of whole lines, its running and waiting sources
// named as cancelled.
TEST_F(CliJobListProgram, StoppedRunLeavesWholeLines) {
    const std::string slow =
        testmedia::Make(work_ + "lib/slow.wav", "-f lavfi -i sine=duration=30 -ac 1 -ar 8000");
    ASSERT_FALSE(slow.empty());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string command =
            InWork("exec " + testmedia::Quote(AUDIOCONV_CLI) +
                   " --quiet -j 1 -f wav -o out -X re --report report.jsonl lib/slow.wav lib/A "
                   "2>/dev/null");
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait until the slow job has begun writing, then stop the program.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until && !fs::exists(work_ + "out"))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 143);
    const std::string text = apptest::ReadFile(work_ + "report.jsonl");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const std::vector<json> lines = ReportLines(work_ + "report.jsonl");
    ASSERT_EQ(lines.size(), 4u); // slow, the two of A, the summary
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i]["status"], "cancelled") << lines[i].dump();
    EXPECT_EQ(lines.back()["cancelled"], 3);
}

// Sources that would share an output name are told apart by their folder alone: the same
// names whether they are converted in one run or in shares that never see each other, and a
// re-run with skip converts nothing.
TEST_F(CliJobListProgram, SourcesOfOneNameGetTheSameNamesInEveryShard) {
    fs::create_directories(work_ + "same");
    fs::copy_file(tone_, work_ + "same/a.wav");
    ASSERT_FALSE(
        testmedia::Make(work_ + "same/a.flac", "-f lavfi -i sine=frequency=880:duration=0.5 -ac 1")
            .empty());
    int count = 2;
    while (InShard("a.wav", TShard{0, count}) == InShard("a.flac", TShard{0, count}))
        ++count;
    auto run = [&](const std::string& out, const std::string& shard) {
        const std::string command =
            Cli("--quiet -f mp3 --existing skip -o " + out + " " + shard + " same 2>&1");
        return std::system(command.c_str());
    };
    ASSERT_EQ(run("whole", ""), 0);
    ASSERT_EQ(run("shared", "--shard 1/" + std::to_string(count)), 0);
    ASSERT_EQ(run("shared", "--shard 0/" + std::to_string(count)), 0);
    const std::vector<std::string> names = {"a (wav).mp3", "a.mp3"};
    EXPECT_EQ(clitest::Listing(work_ + "whole"), names);
    EXPECT_EQ(clitest::Listing(work_ + "shared"), names);
    // The plain name went to a.flac, the first of the two in name order.
    const std::string plain = apptest::ReadFile(work_ + "shared/a.mp3");
    EXPECT_EQ(plain, apptest::ReadFile(work_ + "whole/a.mp3"));
    const clitest::TRun rerun =
        clitest::RunCli("-f mp3 --existing skip -o " + testmedia::Quote(work_ + "shared") + " " +
                            testmedia::Quote(work_ + "same"),
                        work_);
    EXPECT_EQ(rerun.Status, 0);
    EXPECT_NE(rerun.Out.find("Skipped: 2"), std::string::npos) << rerun.Out;
    EXPECT_EQ(clitest::Listing(work_ + "shared"), names);
}

} // namespace
