#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PlatformServices.h"
#include "brand/ShutdownCountdown.h"

namespace {

TEST(ShutdownCountdown, CountsThirtyToZeroAndRunsOutOnTheThirtyFirstTick) {
    TShutdownCountdown countdown;
    std::vector<std::string> shown = {countdown.TimeOutText()};
    int ticks = 0;
    while (!countdown.Tick()) {
        shown.push_back(countdown.TimeOutText());
        ASSERT_LT(++ticks, 100);
    }
    ++ticks;
    EXPECT_EQ(ticks, 31);
    ASSERT_EQ(shown.size(), 31u);
    for (int i = 0; i <= 30; ++i)
        EXPECT_EQ(shown[static_cast<size_t>(i)], "Time left: " + std::to_string(30 - i));
    // Once run out it stays run out.
    EXPECT_TRUE(countdown.Tick());
}

TEST(ShutdownCountdown, DescriptionNamesTheApplication) {
    EXPECT_EQ(ShutdownDescription("Drumlo Audio Converter"),
              "If you don't press cancel now, \nDrumlo Audio Converter will\nshutdown the "
              "computer.");
    EXPECT_EQ(ShutdownDescription("50%s"),
              "If you don't press cancel now, \n50%s will\nshutdown the computer.");
}

class TPowerServices final : public TPlatformServices {
public:
    int PowerOffs = 0;
    bool Refuse = false;
    TMessageResult ShowMessage(const std::string&, TMessageKind) override {
        return TMessageResult::mrOk;
    }
    void OpenWithShell(const std::string&) override {}
    bool PickFolder(std::string&, const std::string&, const std::string&) override { return false; }
    void PlaySoundFile(const std::string&) override {}
    bool PowerOff() override {
        ++PowerOffs;
        return !Refuse;
    }
};

TEST(ShutdownSystem, AsksThePlatformOnceAndIgnoresARefusal) {
    TPowerServices services;
    services.Refuse = true;
    InstallPlatformServices(&services);
    ShutdownSystem();
    InstallPlatformServices(nullptr);
    EXPECT_EQ(services.PowerOffs, 1);
    // Without services nothing is asked and nothing fails.
    ShutdownSystem();
    EXPECT_EQ(services.PowerOffs, 1);
}

} // namespace
