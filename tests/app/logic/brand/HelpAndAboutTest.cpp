#include <gtest/gtest.h>

#include <string>

#include "brand/AboutTexts.h"
#include "brand/HelpLinks.h"
#include "brand/StartUp.h"

namespace {

TEST(HelpLinks, EachCommandOpensItsBrandLink) {
    TGlobalVars vars;
    ApplyBrand(vars, "Onsby Audio Converter", "/opt/conv/");
    ASSERT_FALSE(vars.HelpLink.empty());
    EXPECT_EQ(HelpCommandTarget(THelpCommand::hcHelpContent, vars), vars.HelpLink);
    EXPECT_EQ(HelpCommandTarget(THelpCommand::hcHomePage, vars), vars.HomePageLink);
    EXPECT_EQ(HelpCommandTarget(THelpCommand::hcCheckforUpdates, vars), vars.UpdatesLink);
    EXPECT_EQ(HelpCommandTarget(THelpCommand::hcContactTechnicalSupport, vars),
              "mailto:" + vars.SupportMail);
    // The four are different addresses.
    EXPECT_NE(vars.HelpLink, vars.HomePageLink);
    EXPECT_NE(vars.HomePageLink, vars.UpdatesLink);
}

TEST(HelpLinks, WithoutABrandEveryTargetIsEmpty) {
    const TGlobalVars vars;
    for (const THelpCommand command :
         {THelpCommand::hcHelpContent, THelpCommand::hcHomePage, THelpCommand::hcCheckforUpdates,
          THelpCommand::hcContactTechnicalSupport})
        EXPECT_EQ(HelpCommandTarget(command, vars), "") << static_cast<int>(command);
}

TEST(AboutTexts, NameWithVersionAndCompanyWithTheYear) {
    const TAboutTexts texts =
        MakeAboutTexts("Kestrin Audio Converter", {"Kestrin Audio Converter", "2.1", "Kestrin Ltd"},
                       2031, "https://kestrin.example/", "help@kestrin.example");
    EXPECT_EQ(texts.Caption, "About Kestrin Audio Converter");
    EXPECT_EQ(texts.AppName, "Kestrin Audio Converter 2.1");
    EXPECT_EQ(texts.Company, "Copyright \u00a9 2009-2031 Kestrin Ltd");
    EXPECT_EQ(texts.HomePage, "https://kestrin.example/");
    EXPECT_EQ(texts.SupportMail, "help@kestrin.example");
}

TEST(AboutTexts, EmptyBrandValuesStayEmpty) {
    const TAboutTexts texts = MakeAboutTexts("Some Converter", {}, 2026, "", "");
    EXPECT_EQ(texts.Caption, "About Some Converter");
    EXPECT_EQ(texts.AppName, "Some Converter ");
    EXPECT_EQ(texts.Company, "Copyright \u00a9 2009-2026 ");
    EXPECT_EQ(texts.HomePage, "");
    EXPECT_EQ(texts.SupportMail, "");
    // A company's own "%" is text.
    EXPECT_EQ(MakeAboutTexts("", {"", "", "100%s %d"}, 2026, "", "").Company,
              "Copyright \u00a9 2009-2026 100%s %d");
}

TEST(AboutTexts, CurrentYearIsTheCalendarsYear) {
    const int year = CurrentYear();
    EXPECT_GE(year, 2024);
    EXPECT_LT(year, 2200);
}

} // namespace
