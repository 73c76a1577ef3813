#include "SplashForm.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "brand/SplashFade.h"

// About 16 ms: the step of the fade the system tick counter gave on the original platform.
int TFormSplash::FrameIntervalMs = 16;

namespace {

constexpr const char* SplashFileName = "splash.png";
constexpr int SplashTimeMs = 1000;

bool IsColourAndAlpha32(QImage::Format format) {
    switch (format) {
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        return true;
    default:
        return false;
    }
}

} // namespace

QImage TFormSplash::LoadSplashPicture(const std::string& fileName) {
    QImageReader reader(QString::fromStdString(fileName));
    if (!reader.canRead() || !IsColourAndAlpha32(reader.imageFormat()))
        return {};
    QImage picture = reader.read();
    if (picture.isNull() || !picture.hasAlphaChannel())
        return {};
    // The colours are premultiplied here, by the table, rather than by the toolkit's own
    // rounding, so the picture shows exactly as drawn.
    picture = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        PremultiplyPixels(reinterpret_cast<uint32_t*>(picture.scanLine(y)),
                          static_cast<size_t>(picture.width()));
    picture.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
    return picture;
}

TFormSplash* TFormSplash::ShowSplash(const std::string& programFolder) {
    QImage picture = LoadSplashPicture(programFolder + SplashFileName);
    if (picture.isNull())
        return nullptr;
    auto* splash = new TFormSplash(std::move(picture));
    splash->FadeIn();
    return splash;
}

TFormSplash::TFormSplash(QImage picture)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      FPicture(std::move(picture)), FTimerSplash(new QTimer(this)) {
    setObjectName("FormSplash");
    // Per-pixel alpha: nothing but the picture is drawn, the desktop shows through the rest.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    // The splash never keeps the program running once the main window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(FPicture.size());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    FTimerSplash->setObjectName("TimerSplash");
    FTimerSplash->setInterval(SplashTimeMs);
    FTimerSplash->setSingleShot(true);
    connect(FTimerSplash, &QTimer::timeout, this, &QWidget::close);
}

void TFormSplash::FadeIn() {
    FAlpha = 0;
    setWindowOpacity(0.0);
    show();
    raise();
    activateWindow();
    while (FAlpha < 255) {
        WaitForNextFrame();
        FAlpha = NextSplashAlpha(FAlpha);
        setWindowOpacity(FAlpha / 255.0);
    }
    FTimerSplash->start();
}

void TFormSplash::WaitForNextFrame() {
    // Input waits until the fade is complete: a key pressed now closes the splash then.
    if (FrameIntervalMs <= 0) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(FrameIntervalMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void TFormSplash::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, FPicture);
}

void TFormSplash::keyPressEvent(QKeyEvent* event) {
    event->accept();
    close();
}

void TFormSplash::mousePressEvent(QMouseEvent* event) {
    // The whole picture counts as the caption: the platform moves the window while the
    // button is held.
    if (event->button() == Qt::LeftButton && windowHandle() && windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}
