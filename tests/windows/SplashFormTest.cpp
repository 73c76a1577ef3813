#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <string>

#include "GuiTestEnv.h"
#include "SplashForm.h"
#include "brand/StartUp.h"

using namespace guitest;

namespace {

class Splash : public TGuiTest {
protected:
    Splash() { TFormSplash::FrameIntervalMs = 0; }
    ~Splash() override { TFormSplash::FrameIntervalMs = 16; }

    // A 40 x 30 picture: opaque left half, a half-transparent pixel, a transparent rest.
    void WritePicture(QImage::Format format) {
        QImage picture(40, 30, format);
        picture.fill(QColor(0, 0, 0, 0));
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 20; ++x)
                picture.setPixelColor(x, y, QColor(10, 200, 30, 255));
        picture.setPixelColor(30, 15, QColor(200, 100, 50, 100));
        ASSERT_TRUE(picture.save(QString::fromStdString(Program + "splash.png"), "PNG"));
    }
};

TEST_F(Splash, FadesInToFullOpacityAndClosesOnAKey) {
    WritePicture(QImage::Format_ARGB32);
    QPointer<TFormSplash> splash = TFormSplash::ShowSplash(Program);
    ASSERT_TRUE(splash);
    EXPECT_EQ(splash->size(), QSize(40, 30));
    EXPECT_TRUE(splash->isVisible());
    EXPECT_TRUE(splash->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(splash->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(splash->Alpha(), 255);
    EXPECT_DOUBLE_EQ(splash->windowOpacity(), 1.0);
    EXPECT_TRUE(splash->TimerSplash()->isActive());
    EXPECT_EQ(splash->TimerSplash()->interval(), 1000);
    // Colours premultiplied, rounding down: 200 x 100 / 255 = 78 and so on.
    EXPECT_EQ(splash->Picture().pixel(30, 15), qRgba(78, 39, 19, 100));
    EXPECT_EQ(splash->Picture().pixel(5, 5), qRgba(10, 200, 30, 255));
    EXPECT_EQ(qAlpha(splash->Picture().pixel(39, 0)), 0);

    QKeyEvent key(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QCoreApplication::sendEvent(splash, &key);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(splash.isNull());
}

TEST_F(Splash, TimerClosesIt) {
    WritePicture(QImage::Format_ARGB32);
    QPointer<TFormSplash> splash = TFormSplash::ShowSplash(Program);
    ASSERT_TRUE(splash);
    splash->TimerSplash()->start(0);
    QEventLoop loop;
    QObject::connect(splash, &QObject::destroyed, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit); // a guard, not a measurement
    loop.exec();
    EXPECT_TRUE(splash.isNull());
}

TEST_F(Splash, MissingOrAlphaLessPictureSkipsTheSplash) {
    EXPECT_EQ(TFormSplash::ShowSplash(Program), nullptr);
    WritePicture(QImage::Format_RGB32);
    EXPECT_EQ(TFormSplash::ShowSplash(Program), nullptr);
    apptest::WriteFile(Program + "splash.png", "not a picture");
    EXPECT_EQ(TFormSplash::ShowSplash(Program), nullptr);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

TEST_F(Splash, ShippedPictureHasColourAndAlpha) {
    const QImage picture = TFormSplash::LoadSplashPicture(SourceFolder() + "data/splash.png");
    ASSERT_FALSE(picture.isNull());
    EXPECT_TRUE(picture.hasAlphaChannel());
    // Its corners are transparent: the desktop shows around the card.
    EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(picture.pixel(picture.width() / 2, picture.height() / 2)), 255);
}

} // namespace
