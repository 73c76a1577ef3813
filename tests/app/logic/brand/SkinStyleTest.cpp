#include <gtest/gtest.h>

#include <string>

#include "brand/SkinStyle.h"

namespace {

TEST(SkinColours, OnlySixDigitHexWithAHashIsAColour) {
    TSkinColour colour = 0;
    EXPECT_TRUE(ParseSkinColour("#1e4F82", colour));
    EXPECT_EQ(colour, 0x1e4f82u);
    for (const char* bad : {"1e4f82", "#1e4f8", "#1e4f823", "#1e4g82", "", "#", "red"}) {
        colour = 0xabcdef;
        EXPECT_FALSE(ParseSkinColour(bad, colour)) << bad;
        EXPECT_EQ(colour, 0xabcdefu) << bad;
    }
    EXPECT_EQ(SkinColourText(0x0a0b0c), "#0a0b0c");
    EXPECT_EQ(MixSkinColours(0x000000, 0xffffff, 0.0), 0x000000u);
    EXPECT_EQ(MixSkinColours(0x000000, 0xffffff, 1.0), 0xffffffu);
    EXPECT_EQ(MixSkinColours(0x204060, 0x6080a0, 0.5), 0x406080u);
    // Shares outside 0 to 1 stay at the ends instead of spilling into the next channel.
    EXPECT_EQ(MixSkinColours(0x00ff00, 0xffffff, 2.0), 0xffffffu);
    EXPECT_EQ(MixSkinColours(0x00ff00, 0xffffff, -1.0), 0x00ff00u);
}

TEST(SkinFiles, ValuesAreReadWithoutRegardToCaseAndBadOnesKeepTheBuiltInLook) {
    const TSkin builtIn;
    const TSkinParse parse = ParseSkin("; a comment line\r\n"
                                       "[skin]\r\nname=Harbour\r\n"
                                       "[COLORS]\r\ncaption=#102030\r\nAccent=#zz0000\r\n"
                                       "Window = #fafbfc \r\n"
                                       "[Font]\r\nFamily=Noto \"Sans\"\r\nSize=40\r\n"
                                       "CaptionBold=0\r\n"
                                       "[Metrics]\r\nCaptionHeight=36\r\nRadius=x\r\n");
    const TSkin& skin = parse.Skin;
    EXPECT_EQ(skin.Name, "Harbour");
    EXPECT_EQ(skin.Caption, 0x102030u);
    EXPECT_EQ(skin.Window, 0xfafbfcu);
    EXPECT_FALSE(skin.CaptionBold);
    EXPECT_EQ(skin.CaptionHeight, 36);
    // Invalid values: ignored and named.
    EXPECT_EQ(skin.Accent, builtIn.Accent);
    EXPECT_EQ(skin.FontFamily, builtIn.FontFamily);
    EXPECT_EQ(skin.FontSize, builtIn.FontSize);
    EXPECT_EQ(skin.Radius, builtIn.Radius);
    EXPECT_EQ(parse.Problems, (std::vector<std::string>{"Colors.Accent", "Font.Family", "Font.Size",
                                                        "Metrics.Radius"}));
    // Keys that are missing keep their values silently.
    EXPECT_EQ(skin.Base, builtIn.Base);
    EXPECT_EQ(skin.CaptionFontSize, builtIn.CaptionFontSize);
}

TEST(SkinFiles, EmptyTextIsTheBuiltInLook) {
    const TSkinParse parse = ParseSkin("");
    EXPECT_TRUE(parse.Problems.empty());
    EXPECT_EQ(SkinStyleSheet(parse.Skin), SkinStyleSheet(TSkin{}));
}

TEST(SkinFiles, StyleSheetDressesTheTitleBarAndThePages) {
    TSkin skin;
    skin.Caption = 0x123456;
    skin.CaptionText = 0xfedcba;
    skin.Window = 0x0f0e0d;
    skin.FontFamily = "Liberation Sans";
    skin.CaptionFontSize = 13;
    const std::string css = SkinStyleSheet(skin);
    const auto ruleOf = [&css](const std::string& selector) {
        const size_t at = css.find(selector + " {");
        return at == std::string::npos ? std::string() : css.substr(at, css.find('}', at) - at);
    };
    EXPECT_NE(ruleOf("QWidget#SkinTitleBar").find("#123456"), std::string::npos) << css;
    const std::string caption = ruleOf("QLabel#SkinTitleCaption");
    EXPECT_NE(caption.find("#fedcba"), std::string::npos) << css;
    EXPECT_NE(caption.find("13pt"), std::string::npos) << css;
    EXPECT_NE(css.find("\"Liberation Sans\""), std::string::npos);
    EXPECT_NE(ruleOf("QMainWindow, QDialog, QMessageBox, QWidget#FormMainBody").find("#0f0e0d"),
              std::string::npos)
        << css;
}

} // namespace
