#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "AppTestEnv.h"
#include "settings/UtilFuncs.h"

using namespace apptest;

namespace {

const TScreenRect Screen{0, 0, 1280, 1024};

struct TPlacementCase {
    const char* Stored;
    TWindowPlacement Expected;
};

// Names the case in test listings by what it expects.
void PrintTo(const TPlacementCase& c, std::ostream* os) {
    const TWindowPlacement& e = c.Expected;
    *os << e.Left << "," << e.Top << " " << e.Width << "x" << e.Height
        << (e.Maximized ? " maximized" : "");
}

class Placement : public ::testing::TestWithParam<TPlacementCase> {};

TEST_P(Placement, StoredBoundsAreFittedOntoTheScreen) {
    TGlobalVars vars;
    vars.DataFolder = FreshDir("placement-fit");
    WriteFile(SettingsFilePath(vars), std::string("[form]\n") + GetParam().Stored);
    TWindowPlacement window{10, 20, 698, 542, true};
    EXPECT_TRUE(LoadPlacement(vars, "Form", window, Screen));
    const TWindowPlacement& e = GetParam().Expected;
    EXPECT_EQ(window.Left, e.Left);
    EXPECT_EQ(window.Top, e.Top);
    EXPECT_EQ(window.Width, e.Width);
    EXPECT_EQ(window.Height, e.Height);
    EXPECT_EQ(window.Maximized, e.Maximized);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Placement,
    ::testing::Values(
        TPlacementCase{"x=100\ny=50\nwidth=800\nheight=600\n", {100, 50, 800, 600, false}},
        TPlacementCase{"x=1500\ny=50\nwidth=800\nheight=600\n", {480, 50, 800, 600, false}},
        TPlacementCase{"x=200\ny=50\nwidth=3000\nheight=600\n", {0, 50, 1280, 600, false}},
        TPlacementCase{"x=100\ny=-40\nwidth=800\nheight=600\n", {100, 0, 800, 600, false}},
        TPlacementCase{"x=-5\ny=900\nwidth=800\nheight=2000\n", {0, 0, 800, 1024, false}},
        TPlacementCase{"x=2147483647\ny=0\nwidth=800\nheight=600\n", {480, 0, 800, 600, false}},
        // Missing keys keep the window's values; "maximized" alone defaults to false.
        TPlacementCase{"", {10, 20, 698, 542, false}},
        TPlacementCase{"x=abc\nheight=0\nwidth=-3\nmaximized=7\n", {10, 20, 698, 542, true}}));

TEST(Placement, OffsetScreenKeepsTheWindowOnIt) {
    TGlobalVars vars;
    vars.DataFolder = FreshDir("placement-offset");
    WriteFile(SettingsFilePath(vars), "[Form]\nx=0\ny=5000\nwidth=800\nheight=600\n");
    TWindowPlacement window;
    LoadPlacement(vars, "Form", window, TScreenRect{1920, 100, 1280, 1024});
    EXPECT_EQ(window.Left, 1920);
    EXPECT_EQ(window.Top, 524);
}

TEST(Placement, MaximisedWindowIsStoredWithItsBoundsAndComesBackMaximised) {
    TGlobalVars vars;
    vars.DataFolder = FreshDir("placement-max");
    SavePlacement(vars, "Form", TWindowPlacement{0, 0, 1280, 1000, true});
    EXPECT_EQ(ReadFile(SettingsFilePath(vars)),
              "[Form]\nx=0\ny=0\nheight=1000\nwidth=1280\nmaximized=1\n");

    TWindowPlacement window{300, 200, 698, 542, false};
    LoadPlacement(vars, "Form", window, Screen);
    EXPECT_EQ(window.Left, 0);
    EXPECT_EQ(window.Top, 0);
    EXPECT_EQ(window.Width, 1280);
    EXPECT_EQ(window.Height, 1000);
    EXPECT_TRUE(window.Maximized);

    SavePlacement(vars, "Form", TWindowPlacement{3, 4, 600, 500, false});
    EXPECT_EQ(ReadFile(SettingsFilePath(vars)),
              "[Form]\nx=3\ny=4\nheight=500\nwidth=600\nmaximized=0\n");
}

} // namespace
