#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "AppTestEnv.h"
#include "settings/IniFile.h"
#include "settings/UtilFuncs.h"

using namespace apptest;

namespace {

// A folder where the settings file should be: it opens like a file but cannot be read.
TEST(IniFileFolder, ReadsGiveTheDefaultsAndWritesRaiseNamingTheFile) {
    const std::string dir = FreshDir("ini-folder");
    const std::string path = dir + "~system3.dat";
    std::filesystem::create_directory(path);
    const TIniFile file(path);
    EXPECT_EQ(file.ReadString("System", "LastOpenDir", "def"), "def");
    EXPECT_EQ(file.ReadInteger("System", "OutputFormat", 4), 4);
    try {
        file.WriteInteger("System", "OutputFormat", 2);
        FAIL() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }

    // Start-up reads past it and keeps the defaults; closing reports the failure.
    TGlobalVars vars;
    vars.DataFolder = dir;
    vars.OutputFormat = 5;
    EXPECT_NO_THROW(LoadSettings(vars));
    EXPECT_EQ(vars.OutputFormat, 5);
    EXPECT_THROW(SaveSettings(vars), EIniFileException);
}

} // namespace
