// The video hooks, frame hooks, deinterlacing and the preview in real runs: what the hooks
// see, what they change in the output, their errors, StopHook; and a mid-stream size change.
#include <dlfcn.h>

#include <fstream>
#include <iterator>

#include "VideoRunEnv.h"

using namespace videotest;

namespace {

// The mean of the first picture's luma, decoded by the ffmpeg program.
double FirstLumaMean(const std::string& path) {
    const std::string raw = path + ".y";
    const std::string cmd = "ffmpeg -v error -y -i " + testmedia::Quote(path) +
                            " -frames:v 1 -f rawvideo -pix_fmt gray " + testmedia::Quote(raw);
    if (std::system(cmd.c_str()) != 0)
        return -1;
    std::ifstream f(raw, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(f)), {});
    if (bytes.empty())
        return -1;
    double sum = 0;
    for (unsigned char c : bytes)
        sum += c;
    return sum / static_cast<double>(bytes.size());
}

// Paints the bitmap black.
void Blacken(TBitmap* bitmap) {
    std::fill(bitmap->Bits(), bitmap->Bits() + bitmap->ByteSize(), 0);
}

class VideoHooks : public VideoRun {
protected:
    std::string Out(const std::string& name) { return OutPath(name); }
    void PrepareOne(TTestTask& task, const std::string& out, const std::string& lines = "") {
        Prepare(task, Silent25(), out, "mpeg4", "qscale=2" + (lines.empty() ? "" : "\n" + lines));
    }
};

TEST_F(VideoHooks, InputHookSeesEveryPictureWithRisingTimes) {
    TTestTask task;
    std::vector<int64_t> times;
    std::vector<int> numbers;
    std::vector<int> widths;
    task.OnVideoInputHook = [&](TCustomFFmpeg* sender, TBitmap* bitmap, int64_t pts, int number,
                                bool& update, bool& stopHook) {
        EXPECT_EQ(sender, &task);
        EXPECT_TRUE(update);
        EXPECT_FALSE(stopHook);
        times.push_back(pts);
        numbers.push_back(number);
        widths.push_back(bitmap->Width());
    };
    const std::string out = Out("hook-in-times.mkv");
    PrepareOne(task, out);
    ASSERT_EQ(RunTask(task), "");
    ASSERT_EQ(times.size(), 50u);
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_EQ(numbers[i], static_cast<int>(i) + 1);
        EXPECT_EQ(widths[i], 160);
        if (i > 0) {
            EXPECT_GT(times[i], times[i - 1]);
        }
    }
    EXPECT_NEAR(static_cast<double>(times.back() - times.front()), 49 * 40000.0, 1000);
    EXPECT_EQ(Packets(out, "v:0"), 50);
}

struct THookCase {
    const char* Name;
    bool Output; // the output hook, else the input hook
    bool Update; // the Update flag the hook leaves
    bool Throw;  // the hook raises after painting
    bool Blackened;
};

class VideoHookEffect : public VideoHooks, public ::testing::WithParamInterface<THookCase> {};

TEST_P(VideoHookEffect, ChangesThePictureOnlyWhenUpdated) {
    const THookCase& c = GetParam();
    TTestTask task;
    int calls = 0;
    auto hook = [&](TCustomFFmpeg*, TBitmap* bitmap, int64_t, int, bool& update, bool&) {
        ++calls;
        Blacken(bitmap);
        update = c.Update;
        if (c.Throw)
            throw std::runtime_error("boom");
    };
    (c.Output ? task.OnVideoOutputHook : task.OnVideoInputHook) = hook;
    const std::string out = Out(std::string("hook-") + c.Name + ".mkv");
    PrepareOne(task, out);
    TLogCapture log;
    ASSERT_EQ(RunTask(task), "");
    EXPECT_EQ(calls, 50);
    EXPECT_EQ(Packets(out, "v:0"), 50);
    const double mean = FirstLumaMean(out);
    if (c.Blackened)
        EXPECT_LT(mean, 20);
    else
        EXPECT_GT(mean, 60);
    EXPECT_EQ(log.Matching("Error occurs VideoHook event: boom").size(), c.Throw ? 50u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, VideoHookEffect,
                         ::testing::Values(THookCase{"InputUpdated", false, true, false, true},
                                           THookCase{"InputNotUpdated", false, false, false, false},
                                           THookCase{"InputThrows", false, true, true, false},
                                           THookCase{"OutputUpdated", true, true, false, true},
                                           THookCase{"OutputNotUpdated", true, false, false,
                                                     false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(VideoHooks, StopHookEndsTheCalls) {
    TTestTask task;
    int inputCalls = 0;
    int outputCalls = 0;
    task.OnVideoInputHook = [&](TCustomFFmpeg*, TBitmap*, int64_t, int, bool&, bool& stop) {
        stop = ++inputCalls == 5;
    };
    task.OnVideoOutputHook = [&](TCustomFFmpeg*, TBitmap*, int64_t, int number, bool&, bool& stop) {
        ++outputCalls;
        stop = number == 7;
    };
    const std::string out = Out("hook-stop.mkv");
    PrepareOne(task, out);
    ASSERT_EQ(RunTask(task), "");
    EXPECT_EQ(inputCalls, 5);
    EXPECT_EQ(outputCalls, 7);
    EXPECT_EQ(Packets(out, "v:0"), 50);
}

TEST_F(VideoHooks, PreviewDeliversBitmapsAtItsInterval) {
    TTestTask task;
    int every = 0;
    task.OnPreviewBitmap = [&](TCustomFFmpeg* sender, TBitmap* bitmap, int64_t, int number) {
        EXPECT_EQ(sender, &task);
        EXPECT_EQ(bitmap->Width(), 160);
        EXPECT_EQ(bitmap->Height(), 120);
        EXPECT_EQ(number, ++every);
    };
    task.PreviewFlags = 2;
    task.PreviewInterval = 0;
    PrepareOne(task, Out("preview-all.mkv"));
    ASSERT_EQ(RunTask(task), "");
    EXPECT_EQ(every, 50);

    TTestTask slow;
    int delivered = 0;
    slow.OnPreviewBitmap = [&](TCustomFFmpeg*, TBitmap*, int64_t, int) { ++delivered; };
    slow.PreviewFlags = 2;
    slow.PreviewInterval = 3600LL * 1000000; // one an hour: only the first picture
    PrepareOne(slow, Out("preview-one.mkv"));
    ASSERT_EQ(RunTask(slow), "");
    EXPECT_EQ(delivered, 1);
}

TEST_F(VideoHooks, FrameHooksProcessEveryPicture) {
    TTestTask task;
    const std::string hook = std::string(ENGINE_TEST_HOOK_DIR) + "/libTestHook.so";
    task.ParseOption("vhook", hook);
    void* handle = dlopen(hook.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    auto count = reinterpret_cast<int (*)()>(dlsym(handle, "TestHookProcessCount"));
    ASSERT_NE(count, nullptr);
    const int before = count();
    PrepareOne(task, Out("vhook.mkv"));
    ASSERT_EQ(RunTask(task), "");
    EXPECT_EQ(count() - before, 50);
    dlclose(handle);
}

TEST_F(VideoHooks, CopiedVideoRefusesTheVideoHooks) {
    TTestTask task;
    task.OnVideoInputHook = [](TCustomFFmpeg*, TBitmap*, int64_t, int, bool&, bool&) {};
    Prepare(task, Silent25(), Out("hook-copy.mkv"), "copy", "");
    EXPECT_EQ(RunTask(task),
              "-vcodec copy and VideoHook are incompatible (frames are not decoded)");
}

// An interlaced source: every picture is deinterlaced, none fails, all are written.
TEST_F(VideoHooks, DeinterlacingKeepsEveryPicture) {
    const std::string source = Interlaced25();
    ASSERT_FALSE(source.empty());
    TTestTask task;
    const std::string out = Out("deinterlaced.mkv");
    Prepare(task, source, out, "mpeg4", "deinterlace=1");
    TLogCapture log;
    ASSERT_EQ(RunTask(task), "");
    EXPECT_TRUE(log.Matching("Deinterlacing failed.").empty());
    EXPECT_TRUE(log.Matching("hook buf malloc error.").empty());
    EXPECT_EQ(Packets(out, "v:0"), Packets(source, "v:0"));
}

// ---- a mid-stream size change: 160x120 for a second, then 80x60, scaled to the size of
// the start or to the one the options give, with or without a filter chain

std::string SizeChangeSource() {
    return JoinedTransportStream(
        "size-change.ts", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4 -q:v 4",
        "-f lavfi -i testsrc=size=80x60:rate=25:duration=1 -c:v mpeg4 -q:v 4 "
        "-output_ts_offset 1");
}

struct TSizeCase {
    const char* Name;
    const char* Lines;
    const char* Size;
};

class VideoSizeChange : public VideoRun, public ::testing::WithParamInterface<TSizeCase> {};

TEST_P(VideoSizeChange, IsLoggedOnceAndScaled) {
    const TSizeCase& c = GetParam();
    const std::string source = SizeChangeSource();
    ASSERT_FALSE(source.empty());
    TTestTask task;
    const std::string out = OutPath(std::string("size-change-") + c.Name + ".mkv");
    Prepare(task, source, out, "mpeg4", c.Lines);
    TLogCapture log;
    ASSERT_EQ(RunTask(task), "");
    const auto lines = log.Matching("frame size changed to");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Msg, "Input Stream #0.0 frame size changed to 80x60, yuv420p");
    EXPECT_EQ(lines[0].Level, llQuiet);
    EXPECT_EQ(VideoFact(out, "width,height"), c.Size);
    EXPECT_NEAR(Packets(out, "v:0"), 50, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VideoSizeChange,
    ::testing::Values(TSizeCase{"ScaledFromTheStart", "s=120x90", "120,90"},
                      TSizeCase{"SourceSize", "", "160,120"},
                      // The filter chain is built anew for the new size.
                      TSizeCase{"FilterChain", "vf=hflip", "160,120"},
                      TSizeCase{"FilterChainScaled", "s=120x90\nvf=hflip", "120,90"},
                      TSizeCase{"FilterChainCrop", "vf=crop=100:80", "100,80"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
