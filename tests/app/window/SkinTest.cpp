#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPalette>
#include <set>
#include <string>

#include "GuiTestEnv.h"
#include "Skin.h"
#include "brand/StartUp.h"

using namespace guitest;

namespace {

class SkinLoading : public TGuiTest {};

TEST_F(SkinLoading, ShippedSkinsAreCompleteAndEachBrandLooksItsOwn) {
    std::set<TSkinColour> captions;
    for (int i = 1; i <= 5; ++i) {
        const std::string file =
            SourceFolder() + "data/sounds/skin" + std::to_string(i) + "/skin.ini";
        QFile in(QString::fromStdString(file));
        ASSERT_TRUE(in.open(QIODevice::ReadOnly)) << file;
        const TSkinParse parse = ParseSkin(in.readAll().toStdString());
        EXPECT_TRUE(parse.Problems.empty()) << file << ": " << parse.Problems.front();
        EXPECT_FALSE(parse.Skin.Name.empty()) << file;
        captions.insert(parse.Skin.Caption);
        TSkin loaded;
        EXPECT_TRUE(LoadSkinFile(file, loaded));
        EXPECT_EQ(loaded.Name, parse.Skin.Name);
    }
    EXPECT_EQ(captions.size(), 5u);
}

TEST_F(SkinLoading, ExtensionDecidesHowTheFileIsRead) {
    const std::string text = "[Skin]\nName=Packed\n[Colors]\nCaption=#204060\n";
    apptest::WriteFile(Program + "plain.INI", text);
    const QByteArray packed = qCompress(QByteArray::fromStdString(text));
    apptest::WriteFile(Program + "packed.skn", packed.toStdString());
    apptest::WriteFile(Program + "plain.txt", text);
    apptest::WriteFile(Program + "broken.skn", text); // not compressed

    TSkin skin;
    ASSERT_TRUE(LoadSkinFile(Program + "plain.INI", skin));
    EXPECT_EQ(skin.Caption, 0x204060u);
    skin = TSkin{};
    ASSERT_TRUE(LoadSkinFile(Program + "packed.skn", skin));
    EXPECT_EQ(skin.Name, "Packed");
    EXPECT_EQ(skin.Caption, 0x204060u);
    for (const char* none : {"plain.txt", "broken.skn", "missing.ini"}) {
        skin = TSkin{};
        EXPECT_FALSE(LoadSkinFile(Program + none, skin)) << none;
        EXPECT_EQ(skin.Name, "") << none;
    }
}

TEST_F(SkinLoading, AppliedSkinSetsThePalette) {
    TSkin skin;
    skin.Window = 0x112233;
    skin.Accent = 0x445566;
    ApplySkin(skin);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(QApplication::palette().color(QPalette::Highlight), QColor(0x44, 0x55, 0x66));
    ApplySkin(TSkin{});
}

TEST_F(SkinLoading, BrandIconsAreCompiledIn) {
    for (const char* name : {"a0", "a1", "a2", "A3"})
        EXPECT_FALSE(BrandIcon(name).isNull()) << name;
    EXPECT_TRUE(BrandIcon("a4").isNull());
    EXPECT_TRUE(BrandIcon("").isNull());
}

} // namespace
