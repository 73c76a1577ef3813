// The frame-position arithmetic of the video output, branch by branch.
#include <gtest/gtest.h>

#include "video/Video.h"

namespace {

struct TFrameCountCase {
    const char* Name;
    int Method;
    bool VariableRate;
    double Position;
    int64_t SyncOpts;
    int Frames;
    int64_t SyncOptsAfter;
};

class VideoFrameCountTest : public ::testing::TestWithParam<TFrameCountCase> {};

TEST_P(VideoFrameCountTest, GivesTheFramesAndMovesTheClock) {
    const TFrameCountCase& c = GetParam();
    int64_t syncOpts = c.SyncOpts;
    EXPECT_EQ(VideoFrameCount(c.Method, c.VariableRate, c.Position, syncOpts), c.Frames);
    EXPECT_EQ(syncOpts, c.SyncOptsAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Branches, VideoFrameCountTest,
    ::testing::Values(
        // Constant rate: in step, one behind by 1.5 frames (a duplicate), far behind, ahead.
        TFrameCountCase{"ConstantInStep", 1, false, 10.0, 10, 1, 10},
        TFrameCountCase{"ConstantBehindByOneAndAHalf", 1, false, 11.5, 10, 2, 10},
        TFrameCountCase{"ConstantFarBehind", 1, false, 14.2, 10, 4, 10},
        TFrameCountCase{"ConstantSlightlyAhead", 1, false, 9.0, 10, 1, 10},
        TFrameCountCase{"ConstantAheadDrops", 1, false, 8.8, 10, 0, 10},
        // Automatic on a constant-rate muxer behaves as constant.
        TFrameCountCase{"AutoConstantMuxer", -1, false, 11.5, 10, 2, 10},
        // Variable rate: never duplicates, drops at 0.6 ahead, jumps when 0.6 behind.
        TFrameCountCase{"AutoVariableBehindJumps", -1, true, 13.4, 10, 1, 13},
        TFrameCountCase{"AutoVariableSlightlyBehind", -1, true, 10.5, 10, 1, 10},
        TFrameCountCase{"AutoVariableAheadDrops", -1, true, 9.3, 10, 0, 10},
        TFrameCountCase{"AutoVariableSlightlyAhead", -1, true, 9.5, 10, 1, 10},
        TFrameCountCase{"VariableOnConstantMuxer", 2, false, 13.4, 10, 1, 13},
        // None: the clock is the picture's position.
        TFrameCountCase{"NoneTakesThePosition", 0, false, 13.4, 10, 1, 13},
        TFrameCountCase{"NoneBehind", 0, true, 7.6, 10, 1, 8}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
