#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <string>

#include "GuiTestEnv.h"
#include "SecondaryWindows.h"
#include "ShutdownForm.h"

using namespace guitest;

namespace {

class ShutdownWindow : public TGuiTest {
protected:
    ShutdownWindow() {
        Brand("Drumlo Audio Converter");
        SecondaryWindows().ShutdownCountdown = [](QWidget* owner) {
            return TFormShutdown::Execute(owner);
        };
    }
    ~ShutdownWindow() override {
        SecondaryWindows().ShutdownCountdown = nullptr;
        TFormShutdown::TickIntervalMs = 1000;
    }

    // Runs `drive` on the countdown once it is shown modally; its own timer is stopped, so
    // that only the test's ticks count.
    static void WhenShown(std::function<void(TFormShutdown&)> drive) {
        QTimer::singleShot(0, [drive] {
            auto* form = qobject_cast<TFormShutdown*>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr);
            form->TimerShutdown->stop();
            drive(*form);
        });
    }

    static std::string TimeOut(const TFormShutdown& form) {
        return form.LabelTimeOut->text().toStdString();
    }
};

TEST_F(ShutdownWindow, ShowsItsTextsAndStartsCounting) {
    TFormShutdown form;
    EXPECT_EQ(form.windowTitle(), "Shutdown");
    EXPECT_EQ(form.size(), QSize(193, 149));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.LabelWarning->text(), "Warning!");
    EXPECT_EQ(form.LabelShutdownDescription->text(),
              "If you don't press cancel now, \nDrumlo Audio Converter will\nshutdown the "
              "computer.");
    // Every line of the description fits into the window's width.
    for (const QString& line : form.LabelShutdownDescription->text().split('\n'))
        EXPECT_LE(form.LabelShutdownDescription->fontMetrics().horizontalAdvance(line),
                  form.LabelShutdownDescription->width())
            << line.toStdString();
    EXPECT_EQ(TimeOut(form), "Time left: 30");
    EXPECT_EQ(form.ButtonCancel->text(), "&Cancel");
    EXPECT_EQ(form.ButtonCancel->size(), QSize(75, 25));
    EXPECT_TRUE(form.ButtonCancel->isDefault());
    EXPECT_TRUE(form.TimerShutdown->isActive());
    EXPECT_EQ(form.TimerShutdown->interval(), 1000);
}

TEST_F(ShutdownWindow, CountsDownToZeroAndPowersOffOnceOnTheThirtyFirstTick) {
    WhenShown([](TFormShutdown& form) {
        for (int left = 29; left >= 0; --left) {
            form.TimerShutdownTimer();
            ASSERT_EQ(TimeOut(form), "Time left: " + std::to_string(left));
            ASSERT_TRUE(form.isVisible());
        }
        form.TimerShutdownTimer();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.result(), QDialog::Accepted);
    });
    QWidget owner;
    EXPECT_TRUE(ShutdownAfterCountdown(&owner));
    EXPECT_EQ(Services.PowerOffs, 1);
}

TEST_F(ShutdownWindow, CancelAtTwelveKeepsTheMachineRunning) {
    WhenShown([](TFormShutdown& form) {
        for (int i = 0; i < 18; ++i)
            form.TimerShutdownTimer();
        EXPECT_EQ(TimeOut(form), "Time left: 12");
        form.ButtonCancel->click();
    });
    QWidget owner;
    EXPECT_FALSE(ShutdownAfterCountdown(&owner));
    EXPECT_EQ(Services.PowerOffs, 0);
}

TEST_F(ShutdownWindow, EscapeEnterAndClosingCancel) {
    const struct {
        const char* Name;
        std::function<void(TFormShutdown&)> Act;
    } cases[] = {
        {"Escape",
         [](TFormShutdown& form) {
             QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QCoreApplication::sendEvent(form.ButtonCancel, &key);
         }},
        {"Return",
         [](TFormShutdown& form) {
             QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
             QCoreApplication::sendEvent(form.ButtonCancel, &key);
         }},
        {"Enter",
         [](TFormShutdown& form) {
             QKeyEvent key(QEvent::KeyPress, Qt::Key_Enter, Qt::KeypadModifier);
             QCoreApplication::sendEvent(form.ButtonCancel, &key);
         }},
        {"close", [](TFormShutdown& form) { form.close(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        bool closed = false;
        WhenShown([&](TFormShutdown& form) {
            c.Act(form);
            closed = !form.isVisible();
            // Whatever did not close the window fails the case; the countdown must not hang.
            if (!closed)
                form.reject();
        });
        EXPECT_FALSE(TFormShutdown::Execute(nullptr));
        EXPECT_TRUE(closed);
    }
    EXPECT_EQ(Services.PowerOffs, 0);
}

TEST_F(ShutdownWindow, ItsOwnTimerRunsTheCountdownOut) {
    TFormShutdown::TickIntervalMs = 1;
    QWidget owner;
    EXPECT_TRUE(ShutdownAfterCountdown(&owner));
    EXPECT_EQ(Services.PowerOffs, 1);
}

TEST_F(ShutdownWindow, WithoutACountdownNothingIsPoweredOff) {
    SecondaryWindows().ShutdownCountdown = nullptr;
    EXPECT_FALSE(ShutdownAfterCountdown(nullptr));
    EXPECT_EQ(Services.PowerOffs, 0);
}

} // namespace
