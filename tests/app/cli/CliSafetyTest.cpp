// Sources and outputs handled safely by the program: several converters writing one folder,
// local names that read like URLs, unreadable folders, FIFOs, a stop signal during a blocking
// open, a source that changes while it is converted, and file names that look like options.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "AppTestEnv.h"
#include "CliRun.h"
#include "MediaFixture.h"

namespace {

namespace fs = std::filesystem;
using clitest::Contains;
using testmedia::Quote;

// Runs the program in `folder` (relative names stay relative) with standard input closed and
// any proxy pointed at a closed local port; the status and what it printed.
// `wrapper` goes before the program ("timeout 60 ").
clitest::TRun RunIn(const std::string& folder, const std::string& args,
                    const std::string& wrapper = "") {
    const std::string out = folder + "/../stdout.txt";
    const std::string err = folder + "/../stderr.txt";
    const std::string command =
        "cd " + Quote(folder) + " && " + wrapper +
        "env http_proxy=http://127.0.0.1:1 https_proxy=http://127.0.0.1:1 " + Quote(AUDIOCONV_CLI) +
        " " + args + " >" + Quote(out) + " 2>" + Quote(err) + " <&-";
    clitest::TRun run;
    const int raw = std::system(command.c_str());
    run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.Out = apptest::ReadFile(out);
    run.Err = apptest::ReadFile(err);
    return run;
}

std::string MakeTone(const std::string& path, int frequency, double seconds) {
    return testmedia::Make(path, "-f lavfi -i sine=frequency=" + std::to_string(frequency) +
                                     ":duration=" + std::to_string(seconds) + " -ac 1 -ar 22050");
}

// ---- several converters on one output folder

const char* PolicyName(int policy) {
    return policy == 0 ? "skip" : policy == 1 ? "increment" : "overwrite";
}

// Each process converts its own folder of the same names with different audio into one output
// folder at once. Every final file is whole and equals one process's conversion of that name;
// no name is lost; under skip and overwrite no numbered copy is made, under increment each
// process's output is there once.
TEST(CliSafety, ConvertersStartedTogetherOnOneFolderGiveEveryOutputOnceAndWhole) {
    constexpr int Names = 5;
    const std::string root = apptest::FreshDir("together");
    // The sources and each one's conversion alone, per process.
    std::map<std::string, std::string> reference; // bytes -> "p/name"
    for (int p = 0; p < 8; ++p) {
        const std::string src = root + "src" + std::to_string(p) + "/";
        fs::create_directories(src);
        for (int n = 1; n <= Names; ++n)
            ASSERT_FALSE(MakeTone(src + "t" + std::to_string(n) + ".wav", 200 + 50 * p + 7 * n, 0.4)
                             .empty());
        const std::string ref = root + "ref" + std::to_string(p);
        const clitest::TRun alone =
            clitest::RunCli("-f wav -j 1 -o " + Quote(ref) + " " + Quote(src), root);
        ASSERT_EQ(alone.Status, 0) << alone.Err;
        for (int n = 1; n <= Names; ++n) {
            const std::string name = "t" + std::to_string(n) + ".wav";
            reference[apptest::ReadFile(ref + "/" + name)] = std::to_string(p) + "/" + name;
        }
    }
    ASSERT_EQ(reference.size(), 8u * Names) << "the processes' sources differ";

    for (const int processes : {2, 8})
        for (int policy = 0; policy < 3; ++policy) {
            SCOPED_TRACE(std::to_string(processes) + " processes, " + PolicyName(policy));
            const std::string out =
                root + "out-" + std::to_string(processes) + "-" + PolicyName(policy);
            std::string script;
            for (int p = 0; p < processes; ++p)
                script += "(" + Quote(AUDIOCONV_CLI) + " -f wav -j 2 --existing " +
                          PolicyName(policy) + " -o " + Quote(out) + " " +
                          Quote(root + "src" + std::to_string(p)) + " >/dev/null 2>&1; echo $? >" +
                          Quote(out + "-rc" + std::to_string(p)) + ") & ";
            ASSERT_EQ(std::system(("sh -c " + Quote(script + "wait")).c_str()), 0);
            for (int p = 0; p < processes; ++p)
                EXPECT_EQ(apptest::ReadFile(out + "-rc" + std::to_string(p)), "0\n") << p;

            std::map<std::string, std::vector<std::string>> byName; // name -> whose conversions
            for (const std::string& file : clitest::Listing(out)) {
                const std::string bytes = apptest::ReadFile(out + "/" + file);
                const auto found = reference.find(bytes);
                ASSERT_NE(found, reference.end()) << file << " is no process's whole conversion";
                const std::string name = found->second.substr(found->second.find('/') + 1);
                const std::string stem = name.substr(0, name.size() - 4);
                // "t1.wav" or, under increment, "t1(N).wav" holds a conversion of t1.
                EXPECT_TRUE(file == name || (policy == 1 && file.rfind(stem + "(", 0) == 0))
                    << file << " holds " << found->second;
                byName[name].push_back(found->second);
            }
            ASSERT_EQ(byName.size(), static_cast<size_t>(Names)) << "a name was lost";
            for (const auto& [name, whose] : byName) {
                if (policy == 1) {
                    // Every process's conversion of the name, once each.
                    std::set<std::string> processesSeen(whose.begin(), whose.end());
                    EXPECT_EQ(whose.size(), static_cast<size_t>(processes)) << name;
                    EXPECT_EQ(processesSeen.size(), whose.size()) << name;
                } else {
                    EXPECT_EQ(whose.size(), 1u) << name << ": numbered copies";
                }
            }
        }
}

// ---- names that read like URLs

// Local files whose names hold a protocol prefix, and a name of 250 bytes, are converted as
// the files they are: standard input is closed and no proxy can be reached, so reading either
// would fail the conversion.
TEST(CliSafety, NamesThatReadLikeURLsAndLongNamesAreLocalFiles) {
    const std::string root = apptest::FreshDir("names");
    const std::string dir = root + "src";
    fs::create_directories(dir);
    const std::string plain = MakeTone(dir + "/plain.wav", 330, 0.5);
    ASSERT_FALSE(plain.empty());
    const std::string longName = std::string(246, 'n') + ".wav";
    const std::vector<std::string> names = {"http:x.wav", "pipe:0.wav", "Live:2020.wav", longName};
    for (const std::string& name : names)
        fs::copy_file(plain, dir + "/" + name);
    const clitest::TRun ref = RunIn(dir, "-f wav -o ../ref plain.wav");
    ASSERT_EQ(ref.Status, 0) << ref.Err;
    const std::string expected = apptest::ReadFile(root + "ref/plain.wav");
    ASSERT_FALSE(expected.empty());

    std::string args = "-f wav -o ../out";
    for (const std::string& name : names)
        args += " " + Quote(name);
    const clitest::TRun run = RunIn(dir, args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    for (const std::string& name : names) {
        SCOPED_TRACE(name.substr(0, 20));
        EXPECT_EQ(apptest::ReadFile(root + "out/" + name), expected);
    }
    EXPECT_EQ(clitest::Listing(root + "out").size(), names.size()) << "a temporary file stayed";

    // A named output whose temporary name reads like a protocol too.
    const clitest::TRun named = RunIn(dir, "-f wav --to Live:2021.wav plain.wav");
    EXPECT_EQ(named.Status, 0) << named.Err;
    EXPECT_EQ(apptest::ReadFile(dir + "/Live:2021.wav"), expected);
}

// ---- what cannot be read

// A subfolder the user may not read is reported with the system's reason, counted as failed,
// and fails the run; the rest is converted. Run as an unprivileged user (root reads anything).
TEST(CliSafety, AnUnreadableSubfolderIsReportedAndFailsTheRun) {
    const bool root = geteuid() == 0;
    if (root && std::system("command -v setpriv >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "running as root without setpriv: cannot drop rights to test permissions";
    const std::string base = apptest::FreshDir("unreadable");
    fs::create_directories(base + "lib/locked");
    fs::create_directories(base + "out");
    ASSERT_FALSE(MakeTone(base + "lib/a.wav", 440, 0.3).empty());
    ASSERT_FALSE(MakeTone(base + "lib/locked/b.wav", 550, 0.3).empty());
    fs::permissions(base + "lib/locked", fs::perms::none);
    fs::permissions(base + "out", fs::perms::all);
    const std::string user = root ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
    const std::string command = user + Quote(AUDIOCONV_CLI) + " -f wav -o " + Quote(base + "out") +
                                " " + Quote(base + "lib") + " >" + Quote(base + "o.txt") + " 2>" +
                                Quote(base + "e.txt") + " </dev/null";
    const int raw = std::system(command.c_str());
    fs::permissions(base + "lib/locked", fs::perms::owner_all);
    const std::string printed = apptest::ReadFile(base + "o.txt");
    const std::string errors = apptest::ReadFile(base + "e.txt");
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1) << printed << errors;
    EXPECT_TRUE(Contains(errors, base + "lib/locked: cannot be read: Permission denied")) << errors;
    EXPECT_TRUE(Contains(printed, "Total files: 2  Succeeded: 1  Failed: 1")) << printed;
    EXPECT_TRUE(fs::exists(base + "out/a.wav"));

    // The locked folder named itself: nothing to convert, and the run fails.
    fs::permissions(base + "lib/locked", fs::perms::none);
    const std::string alone = user + Quote(AUDIOCONV_CLI) + " -f wav -o " + Quote(base + "out") +
                              " " + Quote(base + "lib/locked") + " >" + Quote(base + "o.txt") +
                              " 2>" + Quote(base + "e.txt") + " </dev/null";
    const int rawAlone = std::system(alone.c_str());
    fs::permissions(base + "lib/locked", fs::perms::owner_all);
    ASSERT_TRUE(WIFEXITED(rawAlone));
    EXPECT_EQ(WEXITSTATUS(rawAlone), 1);
    EXPECT_TRUE(Contains(apptest::ReadFile(base + "o.txt"), "No files to convert."));
    EXPECT_TRUE(Contains(apptest::ReadFile(base + "e.txt"), "Permission denied"));
}

// A FIFO named as a source is refused at once (opening it would wait for a writer forever).
// The time-out only keeps a faulty program from hanging the test.
TEST(CliSafety, AFifoIsRefusedAtOnce) {
    const std::string dir = apptest::FreshDir("fifo") + "src";
    fs::create_directories(dir);
    ASSERT_EQ(mkfifo((dir + "/pipe.wav").c_str(), 0600), 0);
    const clitest::TRun run = RunIn(dir, "-f wav -o ../out pipe.wav", "timeout -s KILL 120 ");
    EXPECT_EQ(run.Status, 1) << run.Out << run.Err;
    EXPECT_TRUE(Contains(run.Err, "Failed: pipe.wav: is a FIFO (named pipe), not a regular file"))
        << run.Err;
}

// A network source that never answers keeps the prober's open blocked; SIGTERM ends the
// program all the same. The listening socket is on the loopback address and sends nothing.
TEST(CliSafety, SigtermEndsABlockingOpen) {
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(server, 4), 0);
    socklen_t length = sizeof addr;
    ASSERT_EQ(getsockname(server, reinterpret_cast<sockaddr*>(&addr), &length), 0);
    const std::string url = "tcp://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    const std::string dir = apptest::FreshDir("blocked");

    const pid_t child = fork();
    if (child == 0) {
        const std::string out = dir + "out";
        execl(AUDIOCONV_CLI, AUDIOCONV_CLI, "-f", "wav", "-o", out.c_str(), "--url", url.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    // The program has connected and waits for data that never comes.
    pollfd wait{server, POLLIN, 0};
    ASSERT_EQ(poll(&wait, 1, 60000), 1) << "the program never connected";
    const int connection = accept(server, nullptr, nullptr);
    ASSERT_GE(connection, 0);
    kill(child, SIGTERM);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 600 && ended == 0; ++i) {
        ended = waitpid(child, &status, WNOHANG);
        if (ended == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    close(connection);
    close(server);
    ASSERT_NE(ended, 0) << "SIGTERM did not end the program";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 143);
}

// ---- sources that change, and short ones

// A source cut short while it is converted fails its job and leaves no output.
TEST(CliSafety, ASourceTruncatedDuringItsConversionFailsAndLeavesNoOutput) {
    const std::string dir = apptest::FreshDir("truncated");
    const std::string source = testmedia::Make(
        dir + "long.wav", "-f lavfi -i sine=frequency=300:duration=300 -ac 2 -ar 44100");
    ASSERT_FALSE(source.empty());
    const std::string out = dir + "out";
    fs::create_directories(out);
    const pid_t child = fork();
    if (child == 0) {
        const std::string log = dir + "err.txt";
        freopen(log.c_str(), "w", stderr);
        freopen("/dev/null", "w", stdout);
        execl(AUDIOCONV_CLI, AUDIOCONV_CLI, "-f", "mp3", "-o", out.c_str(), source.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    // Once the output is being written, the source loses its second half.
    bool writing = false;
    int status = 0;
    for (int i = 0; i < 6000 && !writing; ++i) {
        for (const std::string& name : clitest::Listing(out)) {
            std::error_code ec;
            writing = writing || fs::file_size(out + "/" + name, ec) > 65536;
        }
        if (!writing)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(writing) << "the conversion never started writing";
    ASSERT_EQ(truncate(source.c_str(), static_cast<off_t>(fs::file_size(source) / 2)), 0);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    const std::string errors = apptest::ReadFile(dir + "err.txt");
    EXPECT_EQ(WEXITSTATUS(status), 1) << errors;
    EXPECT_TRUE(Contains(errors, "changed while it was converted")) << errors;
    EXPECT_TRUE(clitest::Listing(out).empty()) << "an output or temporary file stayed";
}

// A damaged source that decodes short is converted with a warning and counted as Short;
// with --strict it fails and leaves nothing.
TEST(CliSafety, AShortSourceIsCountedApartAndFailsUnderStrict) {
    const std::string dir = apptest::FreshDir("short");
    const std::string whole = testmedia::Make(
        dir + "whole.flac", "-f lavfi -i sine=frequency=500:duration=10 -ac 1 -ar 22050");
    ASSERT_FALSE(whole.empty());
    // The stream header still says ten seconds; about three are left.
    std::string bytes = apptest::ReadFile(whole);
    bytes.resize(bytes.size() * 3 / 10);
    apptest::WriteFile(dir + "cut.flac", bytes);
    const struct {
        const char* Options;
        int Status;
        bool Output;
        const char* Summary;
    } cases[] = {
        {"", 0, true, "Succeeded: 1  Failed: 0  Short: 1  Time: "},
        {"--strict ", 1, false, "Succeeded: 0  Failed: 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Options);
        const std::string out = dir + (c.Output ? "lenient" : "strict");
        const clitest::TRun run = clitest::RunCli(std::string(c.Options) + "-f wav -o " +
                                                      Quote(out) + " " + Quote(dir + "cut.flac"),
                                                  dir);
        EXPECT_EQ(run.Status, c.Status) << run.Out << run.Err;
        EXPECT_TRUE(Contains(run.Out, c.Summary)) << run.Out;
        EXPECT_TRUE(Contains(run.Err, "of its 00:00:10")) << run.Err;
        EXPECT_EQ(fs::exists(out + "/cut.wav"), c.Output);
    }
}

// ---- names that look like options, outputs of earlier runs

// A file whose name a glob put among the options is refused unless it comes after "--".
TEST(CliSafety, FileNamesThatLookLikeOptionsNeedTheEndOfOptions) {
    const std::string dir = apptest::FreshDir("dash") + "src";
    fs::create_directories(dir);
    const std::string name = "-x vhook=evil.so.wav";
    ASSERT_FALSE(MakeTone(dir + "/plain.wav", 660, 0.3).empty());
    fs::copy_file(dir + "/plain.wav", dir + "/" + name);
    const clitest::TRun refused = RunIn(dir, "-f wav -o ../out " + Quote(name));
    EXPECT_EQ(refused.Status, 2);
    EXPECT_TRUE(Contains(refused.Err, "after \"--\"")) << refused.Err;
    EXPECT_FALSE(fs::exists(dir + "/../out"));
    const clitest::TRun taken = RunIn(dir, "-f wav -o ../out -- plain.wav " + Quote(name));
    EXPECT_EQ(taken.Status, 0) << taken.Err;
    const std::string converted = apptest::ReadFile(dir + "/../out/" + name);
    EXPECT_FALSE(converted.empty());
    EXPECT_EQ(converted, apptest::ReadFile(dir + "/../out/plain.wav"));
}

// Converting a folder into itself again does not take the earlier outputs as sources.
TEST(CliSafety, RerunsIntoTheSourceFolderDoNotConvertEarlierOutputs) {
    const std::string dir = apptest::FreshDir("rerun") + "lib";
    fs::create_directories(dir);
    ASSERT_FALSE(MakeTone(dir + "/x.flac", 440, 0.3).empty());
    for (int round = 0; round < 3; ++round) {
        const clitest::TRun run = clitest::RunCli(
            "-f wav --existing skip -o " + Quote(dir) + " " + Quote(dir), dir + "/../");
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_TRUE(Contains(run.Out, "Total files: 1 ")) << round << run.Out;
    }
    EXPECT_EQ(clitest::Listing(dir), (std::vector<std::string>{"x.flac", "x.wav"}));
}

} // namespace
