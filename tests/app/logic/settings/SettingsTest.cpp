#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>

#include "AppTestEnv.h"
#include "brand/StartUp.h"
#include "settings/IniFile.h"
#include "settings/UtilFuncs.h"

using namespace apptest;

namespace {

class Settings : public ::testing::Test {
protected:
    // Vars whose settings file lies in a fresh folder of the test's own.
    static TGlobalVars VarsIn(const std::string& name) {
        TGlobalVars vars;
        vars.DataFolder = FreshDir(name);
        return vars;
    }
};

TEST_F(Settings, MissingFileIsWrittenWithTheDefaultsInTableOrder) {
    THomeGuard home("settings-first");
    std::filesystem::create_directories(home.Home + "Documents");
    TGlobalVars vars;
    vars.OutputFormat = 6;
    vars.PresetIndex[2] = 4;
    vars.ShutDownWhenFinished = true;
    const TShellStart start = StartShell(vars, "", FreshDir("settings-first-prog"));
    EXPECT_FALSE(start.SettingsExisted);
    const std::string docs = home.Home + "Documents";
    EXPECT_EQ(ReadFile(home.Home + ".config/~system3.dat"),
              "[System]\n"
              "LastOpenDir=" +
                  docs +
                  "\n"
                  "OutputFileDir=" +
                  docs +
                  "\n"
                  "OutputFormat=1\n"
                  "OutputWAVPreset=0\n"
                  "OutputMP3Preset=0\n"
                  "OutputWMAPreset=0\n"
                  "OutputOGGPreset=0\n"
                  "OutputM4APreset=0\n"
                  "OutputAACPreset=0\n"
                  "OutputFLACPreset=0\n"
                  "OutputMP2Preset=0\n"
                  "PlayASoundWhenFinished=0\n"
                  "ShutDownWhenFinished=0\n"
                  "SimultaneousConversions=" +
                  std::to_string(SimultaneousConversionsLimit()) + "\n");
    // The next start finds the file.
    TGlobalVars again;
    EXPECT_TRUE(StartShell(again, "", FreshDir("settings-first-prog")).SettingsExisted);
}

TEST_F(Settings, SavedValuesComeBackWithM4AAndAACKeptApart) {
    TGlobalVars vars = VarsIn("settings-roundtrip");
    vars.LastOpenDir = "/music/in";
    vars.OutputFileDir = "/music/out/";
    vars.OutputFormat = 7;
    for (int i = 0; i < OutputFormatCount; ++i)
        vars.PresetIndex[i] = 10 + i;
    vars.PlayASoundWhenFinished = true;
    vars.ShutDownWhenFinished = false;
    SaveSettings(vars);
    const std::string text = ReadFile(SettingsFilePath(vars));
    EXPECT_NE(text.find("OutputM4APreset=15\nOutputAACPreset=14\n"), std::string::npos) << text;
    EXPECT_NE(text.find("PlayASoundWhenFinished=1\nShutDownWhenFinished=0\n"), std::string::npos);

    TGlobalVars loaded;
    loaded.DataFolder = vars.DataFolder;
    loaded.ShutDownWhenFinished = true;
    ASSERT_TRUE(LoadSettings(loaded));
    EXPECT_EQ(loaded.LastOpenDir, vars.LastOpenDir);
    EXPECT_EQ(loaded.OutputFileDir, vars.OutputFileDir);
    EXPECT_EQ(loaded.OutputFormat, vars.OutputFormat);
    EXPECT_EQ(loaded.PresetIndex, vars.PresetIndex);
    EXPECT_TRUE(loaded.PlayASoundWhenFinished);
    EXPECT_FALSE(loaded.ShutDownWhenFinished);
}

TEST_F(Settings, SimultaneousConversionsAreLimitedToTheCores) {
    TGlobalVars vars = VarsIn("settings-parallel");
    const int32_t cores = SimultaneousConversionsLimit();
    const struct {
        const char* Stored;
        int32_t Loaded;
    } cases[] = {{"1", 1}, {"0", 1}, {"-3", 1}, {"100000", cores}, {"x", 1}};
    for (const auto& c : cases) {
        WriteFile(SettingsFilePath(vars),
                  std::string("[System]\nSimultaneousConversions=") + c.Stored + "\n");
        vars.SimultaneousConversions = 1;
        ASSERT_TRUE(LoadSettings(vars));
        EXPECT_EQ(vars.SimultaneousConversions, c.Loaded) << c.Stored;
    }
    vars.SimultaneousConversions = cores;
    SaveSettings(vars);
    TGlobalVars loaded;
    loaded.DataFolder = vars.DataFolder;
    ASSERT_TRUE(LoadSettings(loaded));
    EXPECT_EQ(loaded.SimultaneousConversions, cores);
}

TEST_F(Settings, MissingKeysAndNonIntegersKeepTheFields) {
    TGlobalVars vars = VarsIn("settings-partial");
    WriteFile(SettingsFilePath(vars), "[system]\r\n"
                                      "outputformat=abc\r\n"
                                      "OutputWAVPreset=3\r\n"
                                      "OutputOGGPreset=1.5\r\n"
                                      "OutputAACPreset=\r\n"
                                      "OutputM4APreset=-2\r\n"
                                      "PlayASoundWhenFinished=2\r\n"
                                      "ShutDownWhenFinished=on\r\n");
    vars.LastOpenDir = "/keep/open";
    vars.OutputFormat = 3;
    vars.PresetIndex = {7, 8, 9, 10, 11, 12, 13, 14};
    vars.ShutDownWhenFinished = true;
    ASSERT_TRUE(LoadSettings(vars));
    EXPECT_EQ(vars.LastOpenDir, "/keep/open");
    EXPECT_EQ(vars.OutputFormat, 3);
    const std::array<int32_t, 8> expected = {3, 8, 9, 10, 11, -2, 13, 14};
    EXPECT_EQ(vars.PresetIndex, expected);
    EXPECT_TRUE(vars.PlayASoundWhenFinished);
    EXPECT_TRUE(vars.ShutDownWhenFinished);
}

TEST_F(Settings, FormatOutsideTheEightKeepsTheField) {
    TGlobalVars vars = VarsIn("settings-format");
    for (const char* stored : {"8", "-1", "257"}) {
        WriteFile(SettingsFilePath(vars), std::string("[System]\nOutputFormat=") + stored + "\n");
        vars.OutputFormat = 2;
        LoadSettings(vars);
        EXPECT_EQ(vars.OutputFormat, 2) << stored;
    }
    WriteFile(SettingsFilePath(vars), "[System]\nOutputFormat=0\n");
    LoadSettings(vars);
    EXPECT_EQ(vars.OutputFormat, 0);
}

TEST_F(Settings, SavingKeepsTheRestOfTheFile) {
    TGlobalVars vars = VarsIn("settings-keep");
    WriteFile(SettingsFilePath(vars), "; user notes\n"
                                      "[Form]\n"
                                      "x=5\n"
                                      "[System]\n"
                                      "Extra=kept\n"
                                      "OutputFormat=4\n"
                                      "\n"
                                      "[Other]\n"
                                      "foo=bar\n");
    vars.OutputFormat = 2;
    SaveSettings(vars);
    const std::string text = ReadFile(SettingsFilePath(vars));
    EXPECT_EQ(text.rfind("; user notes\n[Form]\nx=5\n[System]\nExtra=kept\nOutputFormat=2\n"
                         "LastOpenDir=\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("ShutDownWhenFinished=0\nSimultaneousConversions=1\n\n[Other]\nfoo=bar\n"),
              std::string::npos)
        << text;
}

TEST_F(Settings, UnwritableFileRaisesOnSaveButNotAtStart) {
    TGlobalVars vars;
    vars.DataFolder = FreshDir("settings-unwritable") + "missing/";
    EXPECT_THROW(SaveSettings(vars), EIniFileException);
    EXPECT_FALSE(LoadSettings(vars));
}

// Lowers the process's file size limit for its lifetime, as a full disk would stop a write
// part-way; a write past the limit then fails with EFBIG instead of raising SIGXFSZ.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lowered = old_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

std::set<std::string> NamesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A save that stops part-way (the disk full) raises, keeps the old settings exactly as they
// were and leaves no temporary file beside them; the placement is written the same way.
TEST_F(Settings, AFailedSaveKeepsTheOldFile) {
    TGlobalVars vars = VarsIn("settings-atomic-fail");
    SaveSettings(vars);
    SavePlacement(vars, FormSection, TWindowPlacement{10, 20, 300, 400, false});
    const std::string path = SettingsFilePath(vars);
    const std::string before = ReadFile(path);
    ASSERT_NE(before.find("OutputFormat=1\n"), std::string::npos) << before;

    vars.OutputFormat = 5;
    {
        TFileSizeLimit limit(before.size() / 2); // the new text stops half-way
        EXPECT_THROW(SaveSettings(vars), EIniFileException);
        EXPECT_THROW(SavePlacement(vars, FormSection, TWindowPlacement{1, 2, 3, 4, true}),
                     EIniFileException);
    }
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(NamesIn(vars.DataFolder), std::set<std::string>{SettingsFileName});
}

// A save replaces the file as a whole, in one step: a second name of the old file (a hard
// link) still holds the old text, the file holds the new one, and nothing else is left.
TEST_F(Settings, ASaveReplacesTheFileInsteadOfRewritingIt) {
    TGlobalVars vars = VarsIn("settings-atomic-replace");
    const std::string path = SettingsFilePath(vars);
    SaveSettings(vars);
    const std::string before = ReadFile(path);
    ASSERT_EQ(link(path.c_str(), (vars.DataFolder + "old").c_str()), 0);
    vars.OutputFormat = 6;
    vars.ShutDownWhenFinished = true;
    SaveSettings(vars);
    EXPECT_EQ(ReadFile(vars.DataFolder + "old"), before);
    const std::string after = ReadFile(path);
    EXPECT_NE(after.find("OutputFormat=6\n"), std::string::npos) << after;
    EXPECT_NE(after.find("ShutDownWhenFinished=1\n"), std::string::npos) << after;
    EXPECT_EQ(NamesIn(vars.DataFolder), (std::set<std::string>{SettingsFileName, "old"}));
}

TEST(Centring, TruncatesTowardZero) {
    struct {
        TScreenRect Screen;
        int Width, Height, Left, Top;
    } cases[] = {
        {{0, 0, 1280, 1024}, 698, 542, 291, 241},
        {{0, 0, 1279, 1023}, 698, 542, 290, 240},
        {{0, 0, 1000, 500}, 1201, 701, -100, -100}, // -100.5 becomes -100
        {{1920, 0, 1280, 1024}, 698, 542, 2211, 241},
    };
    for (const auto& c : cases) {
        TWindowPlacement w;
        w.Width = c.Width;
        w.Height = c.Height;
        CentreWindow(w, c.Screen);
        EXPECT_EQ(w.Left, c.Left);
        EXPECT_EQ(w.Top, c.Top);
    }
}

TEST(OldLog, LinesOfTheProgramsLogFileSeedTheLog) {
    EXPECT_EQ(OldLogFileName("/opt/conv/audioconv"), "/opt/conv/audioconv.log");
    EXPECT_EQ(OldLogFileName("/opt/conv/audioconv.exe"), "/opt/conv/audioconv.log");
    const std::string dir = FreshDir("old-log");
    std::vector<std::string> lines = {"stale"};
    LoadOldLog(dir + "none.log", lines);
    EXPECT_EQ(lines, std::vector<std::string>{"stale"});
    WriteFile(dir + "a.log", "first\r\nsecond\n\nlast");
    LoadOldLog(dir + "a.log", lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second", "", "last"}));
}

} // namespace
