// The splash window: the picture "splash.png" beside the program, drawn with its own per-pixel
// alpha, faded in at start and closed by its timer or a key press.
#pragma once

#include <QImage>
#include <QWidget>
#include <string>

class QTimer;

class TFormSplash : public QWidget {
    Q_OBJECT
public:
    // Creates the splash owned by the application and runs its show routine; returns once
    // the fade-in is complete. The window closes and frees itself later. Null, and nothing
    // shown, when "splash.png" in `programFolder` is missing or has no 32-bit colour and
    // alpha.
    static TFormSplash* ShowSplash(const std::string& programFolder);

    // The picture of a splash file, its colours premultiplied by its alpha; a null image
    // when the file is missing or not a 32-bit picture with alpha.
    static QImage LoadSplashPicture(const std::string& fileName);

    // The wait between two steps of the fade, one display frame. Tests set 0.
    static int FrameIntervalMs;

    // The constant alpha the window shows (0 to 255).
    int Alpha() const { return FAlpha; }
    const QImage& Picture() const { return FPicture; }
    QTimer* TimerSplash() const { return FTimerSplash; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    explicit TFormSplash(QImage picture);
    void FadeIn();
    void WaitForNextFrame();

    QImage FPicture;
    int FAlpha = 0;
    QTimer* FTimerSplash;
};
