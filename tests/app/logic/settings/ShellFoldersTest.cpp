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
    EXPECT_EQ(MakeDataFolder(base + "conf", "Onsby Audio Converter"),
              base + "conf/Onsby Audio Converter/");
    EXPECT_TRUE(fs::is_directory(base + "conf/Onsby Audio Converter"));
    EXPECT_EQ(MakeDataFolder(base + "conf/", ""), base + "conf/");
    // A file in the way: the folder cannot be made.
    WriteFile(base + "conf/Blocked", "");
    EXPECT_EQ(MakeDataFolder(base + "conf", "Blocked"), base + "conf/");
}

} // namespace
