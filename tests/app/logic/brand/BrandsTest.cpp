#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "AppTestEnv.h"
#include "brand/Brands.h"
#include "brand/StartUp.h"
#include "settings/UtilFuncs.h"

using namespace apptest;

namespace {

struct TBrandCase {
    const char* Title;
    const char* Skin;
    const char* Icon;
};

void PrintTo(const TBrandCase& c, std::ostream* os) {
    *os << c.Title;
}

class BrandRows : public ::testing::TestWithParam<TBrandCase> {};

TEST_P(BrandRows, TitleSelectsSkinAndIcon) {
    const TBrandCase& c = GetParam();
    const TBrand* brand = FindBrand(c.Title);
    ASSERT_NE(brand, nullptr);
    EXPECT_STREQ(brand->SkinFile, c.Skin);
    EXPECT_EQ(BrandIconName(c.Title), c.Icon);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BrandRows,
    ::testing::Values(TBrandCase{"Tavrel Audio Converter", "sounds/skin1/skin.ini", "a0"},
                      TBrandCase{"Onsby Audio Converter", "sounds/skin2/skin.ini", "a1"},
                      TBrandCase{"Kestrin Audio Converter", "sounds/skin3/skin.ini", "a2"},
                      TBrandCase{"Drumlo Audio Converter", "sounds/skin4/skin.ini", "a3"},
                      TBrandCase{"Fenwary Converter", "sounds/skin5/skin.ini", "a0"}));

TEST(Brands, TitlesMatchExactlyOnly) {
    for (const char* title : {"tavrel audio converter", "Fenwary converter", "FENWARY CONVERTER",
                              " Tavrel Audio Converter", "Tavrel Audio Converter ", ""}) {
        EXPECT_EQ(FindBrand(title), nullptr) << title;
        EXPECT_EQ(BrandIconName(title), "") << title;
    }
}

TEST(Brands, EachBrandHasItsOwnLinksAndOnlyTheFirstHelpsOnItsHomePage) {
    std::set<std::string> seen;
    for (const TBrand& b : Brands) {
        for (const char* link : {b.HomePageLink, b.UpdatesLink, b.SupportMail}) {
            EXPECT_STRNE(link, "");
            EXPECT_TRUE(seen.insert(link).second) << "shared link " << link;
        }
        if (&b == &Brands[0])
            EXPECT_STREQ(b.HelpLink, b.HomePageLink);
        else
            EXPECT_TRUE(seen.insert(b.HelpLink).second) << "shared help link " << b.HelpLink;
    }
    for (const TBrand& b : Brands)
        EXPECT_EQ(std::string(b.SupportMail).find(':'), std::string::npos) << "mail has a scheme";
}

TEST(Brands, BrandFileNamesTheBrandAndStartUpAppliesIt) {
    THomeGuard home("brand-file");
    const std::string program = FreshDir("brand-file-program");
    WriteFile(program + "lame.dll",
              "[system]\r\nname=Fenwary Converter\r\nVERSION=2.1\r\nCompany=Fenwary Ltd\r\n");
    const TBrandFile file = ReadBrandFile(program);
    EXPECT_EQ(file.Name, "Fenwary Converter");
    EXPECT_EQ(file.Version, "2.1");
    EXPECT_EQ(file.Company, "Fenwary Ltd");

    TGlobalVars vars;
    const TShellStart start = StartShell(vars, file.Name, program);
    const TBrand& fenwary = Brands[4];
    EXPECT_EQ(start.SkinFile, program + "sounds/skin5/skin.ini");
    EXPECT_EQ(vars.HelpLink, fenwary.HelpLink);
    EXPECT_EQ(vars.HomePageLink, fenwary.HomePageLink);
    EXPECT_EQ(vars.UpdatesLink, fenwary.UpdatesLink);
    EXPECT_EQ(vars.SupportMail, fenwary.SupportMail);
    EXPECT_EQ(vars.DataFolder, home.Home + ".config/Fenwary Converter/");
    EXPECT_TRUE(std::filesystem::exists(vars.DataFolder + "~system3.dat"));
}

TEST(Brands, WithoutBrandFileNothingIsBrandedAndSettingsLieInTheConfigurationFolder) {
    THomeGuard home("brand-none");
    const std::string program = FreshDir("brand-none-program");
    const TBrandFile file = ReadBrandFile(program);
    EXPECT_EQ(file.Name, "");
    EXPECT_EQ(file.Version, "");
    EXPECT_EQ(file.Company, "");

    TGlobalVars vars;
    const TShellStart start = StartShell(vars, file.Name, program);
    EXPECT_EQ(start.SkinFile, "");
    EXPECT_EQ(BrandIconName(file.Name), "");
    EXPECT_EQ(vars.HelpLink + vars.HomePageLink + vars.UpdatesLink + vars.SupportMail, "");
    EXPECT_EQ(vars.DataFolder, home.Home + ".config/");
    EXPECT_TRUE(std::filesystem::exists(home.Home + ".config/~system3.dat"));
}

TEST(Brands, UnknownTitleStillGetsItsOwnDataFolder) {
    THomeGuard home("brand-unknown");
    TGlobalVars vars;
    const TShellStart start = StartShell(vars, "tavrel audio converter", FreshDir("brand-u-prog"));
    EXPECT_EQ(start.SkinFile, "");
    EXPECT_EQ(vars.HomePageLink, "");
    EXPECT_EQ(vars.DataFolder, home.Home + ".config/tavrel audio converter/");
}

// The program's start-up path: the old log seeds the log, and a configuration folder that
// cannot be made is said after it; the program still starts.
TEST(Brands, StartUpSeedsTheLogAndSaysWhenTheConfigurationFolderCannotBeMade) {
    THomeGuard home("brand-start");
    const std::string program = FreshDir("brand-start-program");
    WriteFile(program + "audioconv.log", "first\r\nsecond\r\n");
    WriteFile(home.Home + "plain", "");
    home.Env.Set("XDG_CONFIG_HOME", home.Home + "plain/conf");
    TGlobalVars vars;
    vars.LogLines = {"replaced by the old log"};
    const TShellStart start =
        StartShell(vars, "Tavrel Audio Converter", program, program + "audioconv.log");
    EXPECT_EQ(start.SkinFile, program + "sounds/skin1/skin.ini");
    EXPECT_FALSE(start.SettingsExisted);
    EXPECT_EQ(vars.DataFolder, home.Home + "plain/conf/");
    ASSERT_EQ(vars.LogLines.size(), 3u) << ::testing::PrintToString(vars.LogLines);
    EXPECT_EQ(vars.LogLines[0], "first");
    EXPECT_EQ(vars.LogLines[1], "second");
    EXPECT_EQ(vars.LogLines[2].rfind(
                  "Cannot create the configuration folder " + home.Home + "plain/conf/: ", 0),
              0u)
        << vars.LogLines[2];

    // With a configuration folder that can be made nothing is said.
    home.Env.Set("XDG_CONFIG_HOME", home.Home + "made/conf");
    TGlobalVars again;
    StartShell(again, "Tavrel Audio Converter", program, program + "audioconv.log");
    EXPECT_EQ(again.DataFolder, home.Home + "made/conf/Tavrel Audio Converter/");
    EXPECT_EQ(again.LogLines, (std::vector<std::string>{"first", "second"}));
}

TEST(Skins, ExtensionInLowerCaseDecidesHowTheSkinIsRead) {
    const std::pair<const char*, TSkinKind> cases[] = {
        {"sounds/skin1/skin.ini", TSkinKind::skPlain},
        {"a/SKIN.INI", TSkinKind::skPlain},
        {"a/skin.Skn", TSkinKind::skCompressed},
        {"a/skin.txt", TSkinKind::skNone},
        {"a/skin", TSkinKind::skNone},
        {"a.ini/skin", TSkinKind::skNone},
    };
    for (const auto& [file, kind] : cases)
        EXPECT_EQ(SkinKindOf(file), kind) << file;
}

} // namespace
