// Frame hooks (option "vhook") with the tiny hook libraries built beside the tests.
#include <dlfcn.h>

#include "EngineTestEnv.h"
#include "video/FrameHook.h"

namespace {

std::string HookPath(const char* name) {
    return std::string(ENGINE_TEST_HOOK_DIR) + "/lib" + name + ".so";
}

// A query function of the test hook, from the copy the engine loaded.
template <typename F> F TestHookFunction(const char* name) {
    void* handle = dlopen(HookPath("TestHook").c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(handle, nullptr) << "the engine has not loaded the test hook";
    F f = handle ? reinterpret_cast<F>(dlsym(handle, name)) : nullptr;
    if (handle)
        dlclose(handle);
    return f;
}

int HookCount(const char* name) {
    auto f = TestHookFunction<int (*)()>(name);
    return f ? f() : -1;
}

std::string LastArgs() {
    auto f = TestHookFunction<const char* (*)()>("TestHookLastArgs");
    return f ? f() : "";
}

class EngineFrameHooks : public TEngineTest {};

TEST_F(EngineFrameHooks, HooksAreConfiguredCalledInOrderAndReleased) {
    TTestTask task;
    const std::string hook = HookPath("TestHook");
    task.ParseOption("vhook", hook + " -a  b");
    EXPECT_TRUE(task.UsingVhook);
    const int configured = HookCount("TestHookConfigureCount");
    EXPECT_EQ(LastArgs(), "-a|b");
    task.ParseOption("vhook", hook + "|one word|two");
    EXPECT_EQ(LastArgs(), "one word|two");
    EXPECT_EQ(HookCount("TestHookConfigureCount"), configured + 1);
    ASSERT_EQ(task.FrameHooks.Size(), 2u);

    uint8_t pixel = 1;
    TFrameHookPicture picture{};
    picture.data[0] = &pixel;
    const int processed = HookCount("TestHookProcessCount");
    task.FrameHooks.Process(picture, 3);
    EXPECT_EQ(HookCount("TestHookProcessCount"), processed + 2);
    EXPECT_EQ(pixel, 7);

    const int released = HookCount("TestHookReleaseCount");
    task.ReleaseFiles();
    EXPECT_TRUE(task.FrameHooks.Empty());
    EXPECT_EQ(HookCount("TestHookReleaseCount"), released + 2);
    EXPECT_EQ(HookCount("TestHookLastReleasedId"), configured + 1);
}

TEST_F(EngineFrameHooks, FailuresRaiseWithTheValueAndLogWhy) {
    struct {
        std::string Value;
        std::string Logged;
    } const cases[] = {
        {HookPath("TestHook") + " fail", "Failed to Configure " + HookPath("TestHook")},
        {HookPath("NoProcessHook"),
         "Failed to find Process entrypoint in " + HookPath("NoProcessHook")},
        {HookPath("ProcessOnlyHook") + " arg",
         "Failed to find Configure entrypoint in " + HookPath("ProcessOnlyHook")},
        {std::string(AUDIOCONV_TEST_TMP_DIR) + "/no-such-hook.so", "no-such-hook.so"},
    };
    for (const auto& c : cases) {
        TTestTask task;
        TLogCapture log;
        EXPECT_EQ(RaisedMessage([&] { task.ParseOption("vhook", c.Value); }),
                  std::optional<std::string>("Failed to add video hook function: " + c.Value));
        EXPECT_FALSE(task.UsingVhook) << c.Value;
        EXPECT_TRUE(task.FrameHooks.Empty()) << c.Value;
        const auto logged = log.Matching(c.Logged);
        ASSERT_FALSE(logged.empty()) << c.Logged;
        EXPECT_EQ(logged[0].Level, llError);
    }
}

TEST_F(EngineFrameHooks, AHookWithProcessOnlyNeedsNoConfigureWithoutArguments) {
    TTestTask task;
    task.ParseOption("vhook", HookPath("ProcessOnlyHook"));
    EXPECT_TRUE(task.UsingVhook);
    EXPECT_EQ(task.FrameHooks.Size(), 1u);
}

TEST(EngineFrameHookWords, SplitAtBarsOrElseAtBlanks) {
    EXPECT_EQ(SplitFrameHookWords("a  b\tc"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(SplitFrameHookWords("a|b c||d"), (std::vector<std::string>{"a", "b c", "d"}));
    EXPECT_TRUE(SplitFrameHookWords("   ").empty());
    std::string many;
    for (int i = 0; i < 300; ++i) {
        many += 'w';
        many += std::to_string(i);
        many += ' ';
    }
    const auto words = SplitFrameHookWords(many);
    ASSERT_EQ(words.size(), static_cast<size_t>(MaxFrameHookWords));
    EXPECT_EQ(words.back(), "w253");
}

} // namespace
