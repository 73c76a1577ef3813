#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "AppTestEnv.h"
#include "settings/ShellFolders.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

TEST(Folders, EnsureTrailingSeparator) {
    EXPECT_EQ(EnsureTrailingSeparator("/"), "/");
    EXPECT_EQ(EnsureTrailingSeparator("/music"), "/music/");
    EXPECT_EQ(EnsureTrailingSeparator("/music/"), "/music/");
    EXPECT_EQ(EnsureTrailingSeparator(""), "/");
}

TEST(Folders, NoDocumentsFolderGivesTheHomeFolder) {
    THomeGuard home("folders-none");
    const std::string homeFolder = home.Home.substr(0, home.Home.size() - 1);
    EXPECT_EQ(GetShellFolder("Personal"), homeFolder);
    // Named but missing folders do not count either.
    home.Env.Set("XDG_DOCUMENTS_DIR", home.Home + "gone");
    fs::create_directories(home.Home + ".config");
    WriteFile(home.Home + ".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/alsogone\"\n");
    EXPECT_EQ(GetShellFolder("Personal"), homeFolder);
    EXPECT_EQ(GetShellFolder("Desktop"), "/");
    // Only a home that does not exist leaves the root.
    home.Env.Set("HOME", home.Home + "nobody");
    home.Env.Set("XDG_DOCUMENTS_DIR", std::nullopt);
    EXPECT_EQ(GetShellFolder("Personal"), "/");
}

TEST(Folders, DocumentsFolderIsFoundInXdgOrder) {
    THomeGuard home("folders-docs");
    fs::create_directories(home.Home + "Documents");
    EXPECT_EQ(GetShellFolder("Personal"), home.Home + "Documents");

    fs::create_directories(home.Home + "conf");
    fs::create_directories(home.Home + "Papers");
    home.Env.Set("XDG_CONFIG_HOME", home.Home + "conf");
    WriteFile(home.Home + "conf/user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                                 "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                                 "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
    EXPECT_EQ(GetShellFolder("Personal"), home.Home + "Papers");

    fs::create_directories(home.Home + "Env Docs");
    home.Env.Set("XDG_DOCUMENTS_DIR", home.Home + "Env Docs");
    EXPECT_EQ(GetShellFolder("Personal"), home.Home + "Env Docs");
}

TEST(Folders, ConfigurationFolderIsXdgConfigHomeOrDotConfig) {
    THomeGuard home("folders-config");
    EXPECT_EQ(GetShellFolder("AppData"), home.Home + ".config");
    home.Env.Set("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(GetShellFolder("AppData"), home.Home + ".config");
    home.Env.Set("XDG_CONFIG_HOME", "/elsewhere/conf");
    EXPECT_EQ(GetShellFolder("AppData"), "/elsewhere/conf");
}

TEST(Folders, DataFolderIsTitledOrFallsBackToTheConfigurationFolder) {
    const std::string base = FreshDir("folders-data");
    fs::create_directories(base + "conf");
    const struct {
        const char* Title;
        std::string Folder;
    } cases[] = {
        {"Onsby Audio Converter", base + "conf/Onsby Audio Converter/"},
        {"", base + "conf/"},
        // A file in the way: the folder cannot be made.
        {"Blocked", base + "conf/"},
        // One level only: a title that would need a folder between is not made.
        {"Two/Levels", base + "conf/"},
    };
    WriteFile(base + "conf/Blocked", "");
    for (const auto& c : cases) {
        const TDataFolder data = MakeDataFolder(base + "conf", c.Title);
        EXPECT_EQ(data.Folder, c.Folder) << c.Title;
        EXPECT_EQ(data.Problem, "") << c.Title;
        EXPECT_TRUE(fs::is_directory(data.Folder)) << c.Title;
    }
    EXPECT_FALSE(fs::exists(base + "conf/Two"));
}

// The XDG rules: a missing configuration folder is made (for the owner only), with the
// folders above it; the data folder then goes inside.
TEST(Folders, MissingConfigurationFolderIsMadeForTheOwner) {
    const std::string base = FreshDir("folders-xdg");
    const TDataFolder data = MakeDataFolder(base + "new/conf/", "Tavrel Audio Converter");
    EXPECT_EQ(data.Folder, base + "new/conf/Tavrel Audio Converter/");
    EXPECT_EQ(data.Problem, "");
    EXPECT_TRUE(fs::is_directory(data.Folder));
    EXPECT_EQ(fs::status(base + "new/conf").permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST(Folders, ConfigurationFolderThatCannotBeMadeIsNamedInTheProblem) {
    const std::string base = FreshDir("folders-blocked");
    WriteFile(base + "file", "");
    const TDataFolder data = MakeDataFolder(base + "file/conf", "Tavrel Audio Converter");
    EXPECT_EQ(data.Folder, base + "file/conf/");
    EXPECT_EQ(
        data.Problem.rfind("Cannot create the configuration folder " + base + "file/conf/: ", 0),
        0u)
        << data.Problem;
    EXPECT_GT(data.Problem.size(),
              ("Cannot create the configuration folder " + base + "file/conf/: ").size());
}

} // namespace
