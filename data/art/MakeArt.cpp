// Draws the pictures and writes the sounds that ship with the program: the brand icons, the
// audio picture, the drop-down arrow and the About picture (compiled into the program), the
// splash picture and the done and fail sounds (installed beside it), and the desktop's icons
// (installed into the icon theme). Run by the build target `art`, which writes them into the
// source tree; the results are committed.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <vector>

namespace {

// Bar heights of the waveform mark, as shares of the full height.
const double WaveBars[] = {0.30, 0.55, 0.85, 1.00, 0.70, 0.45, 0.62, 0.36, 0.20};

void DrawWaveform(QPainter& p, const QRectF& area, int bars, const QColor& colour) {
    const double slot = area.width() / bars;
    const double barWidth = slot * 0.56;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    for (int i = 0; i < bars; ++i) {
        const double h = area.height() * WaveBars[i % std::size(WaveBars)];
        const QRectF bar(area.left() + i * slot + (slot - barWidth) / 2, area.center().y() - h / 2,
                         barWidth, h);
        p.drawRoundedRect(bar, barWidth / 2, barWidth / 2);
    }
}

// The brand icon's geometry on its 128-unit grid, shared by the pictures and the scalable icon.
constexpr double IconGrid = 128;
const QRectF IconTile(4, 4, IconGrid - 8, IconGrid - 8);
constexpr double IconCorner = 28;
const QRectF IconWaveArea(22, 30, IconGrid - 44, IconGrid - 60);
const QColor IconWaveColour(255, 255, 255, 235);

// Fewer, wider bars where the picture is small, so that they stay apart.
int IconBars(int size) {
    return size < 32 ? 5 : 7;
}

QImage BrandIcon(const QColor& light, const QColor& dark, int size = 128) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / IconGrid, size / IconGrid);
    QLinearGradient fill(IconTile.topLeft(), IconTile.bottomLeft());
    fill.setColorAt(0, light);
    fill.setColorAt(1, dark);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(IconTile, IconCorner, IconCorner);
    // A soft highlight over the upper half.
    QPainterPath clip;
    clip.addRoundedRect(IconTile, IconCorner, IconCorner);
    p.setClipPath(clip);
    QLinearGradient gloss(IconTile.topLeft(), QPointF(IconTile.left(), IconTile.center().y()));
    gloss.setColorAt(0, QColor(255, 255, 255, 70));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawRect(QRectF(IconTile.left(), IconTile.top(), IconTile.width(), IconTile.height() / 2));
    p.setClipping(false);
    DrawWaveform(p, IconWaveArea, IconBars(size), IconWaveColour);
    return image;
}

QString SvgColour(const QColor& colour) {
    return colour.name(QColor::HexRgb);
}

// The brand icon as SVG, the same drawing as BrandIcon on its 128-unit grid.
QByteArray BrandIconSvg(const QColor& light, const QColor& dark) {
    const QRectF& t = IconTile;
    QString svg = QString("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"128\" "
                          "height=\"128\" viewBox=\"0 0 128 128\">\n"
                          "  <defs>\n"
                          "    <linearGradient id=\"fill\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
                          "      <stop offset=\"0\" stop-color=\"%1\"/>\n"
                          "      <stop offset=\"1\" stop-color=\"%2\"/>\n"
                          "    </linearGradient>\n"
                          "    <linearGradient id=\"gloss\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
                          "      <stop offset=\"0\" stop-color=\"#ffffff\" stop-opacity=\"%3\"/>\n"
                          "      <stop offset=\"1\" stop-color=\"#ffffff\" stop-opacity=\"0\"/>\n"
                          "    </linearGradient>\n"
                          "    <clipPath id=\"tile\">\n"
                          "      <rect x=\"%4\" y=\"%5\" width=\"%6\" height=\"%7\" rx=\"%8\"/>\n"
                          "    </clipPath>\n"
                          "  </defs>\n"
                          "  <rect x=\"%4\" y=\"%5\" width=\"%6\" height=\"%7\" rx=\"%8\" "
                          "fill=\"url(#fill)\"/>\n"
                          "  <rect x=\"%4\" y=\"%5\" width=\"%6\" height=\"%9\" "
                          "fill=\"url(#gloss)\" clip-path=\"url(#tile)\"/>\n")
                      .arg(SvgColour(light), SvgColour(dark), QString::number(70 / 255.0, 'f', 3))
                      .arg(t.left())
                      .arg(t.top())
                      .arg(t.width())
                      .arg(t.height())
                      .arg(IconCorner)
                      .arg(t.height() / 2);
    const int bars = IconBars(128);
    const QRectF& area = IconWaveArea;
    const double slot = area.width() / bars;
    const double barWidth = slot * 0.56;
    svg += QString("  <g fill=\"#ffffff\" fill-opacity=\"%1\">\n")
               .arg(QString::number(IconWaveColour.alpha() / 255.0, 'f', 3));
    for (int i = 0; i < bars; ++i) {
        const double h = area.height() * WaveBars[i % std::size(WaveBars)];
        svg += QString("    <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\"/>\n")
                   .arg(area.left() + i * slot + (slot - barWidth) / 2, 0, 'f', 3)
                   .arg(area.center().y() - h / 2, 0, 'f', 3)
                   .arg(barWidth, 0, 'f', 3)
                   .arg(h, 0, 'f', 3)
                   .arg(barWidth / 2, 0, 'f', 3);
    }
    svg += "  </g>\n</svg>\n";
    return svg.toUtf8();
}

QImage AudioPicture() {
    QImage image(128, 88, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card(1, 1, 126, 86);
    QLinearGradient fill(card.topLeft(), card.bottomRight());
    fill.setColorAt(0, QColor(0x3b, 0x4d, 0x61));
    fill.setColorAt(1, QColor(0x1f, 0x2a, 0x36));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(card, 8, 8);
    DrawWaveform(p, QRectF(18, 12, 92, 48), 9, QColor(0x7f, 0xb3, 0xff));
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(font);
    p.setPen(QColor(0xcf, 0xd8, 0xe3));
    p.drawText(QRectF(0, 62, 128, 20), Qt::AlignCenter, "AUDIO");
    return image;
}

// The arrow of the drop-down lists, in a grey that reads on every light skin.
QImage DropDownArrow() {
    QImage image(12, 8, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x4a, 0x55, 0x63), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(1.5, 2), QPointF(6, 6.2), QPointF(10.5, 2)}));
    return image;
}

QImage SplashPicture() {
    const int width = 480, height = 300, margin = 18;
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card(margin, margin - 4, width - 2 * margin, height - 2 * margin);
    // Shadow: widening rounded outlines of falling opacity.
    p.setPen(Qt::NoPen);
    for (int i = margin; i > 0; --i) {
        p.setBrush(QColor(0, 0, 0, static_cast<int>(5 + 40.0 * (margin - i) / margin) / 4));
        p.drawRoundedRect(card.adjusted(-i, -i + 6, i, i + 6), 16 + i, 16 + i);
    }
    QLinearGradient fill(card.topLeft(), card.bottomRight());
    fill.setColorAt(0, QColor(0x24, 0x4a, 0x73));
    fill.setColorAt(1, QColor(0x0f, 0x1f, 0x33));
    p.setBrush(fill);
    p.drawRoundedRect(card, 16, 16);

    QPainterPath clip;
    clip.addRoundedRect(card, 16, 16);
    p.setClipPath(clip);
    QRadialGradient glow(card.topRight() + QPointF(-60, 40), 260);
    glow.setColorAt(0, QColor(0x5a, 0xa8, 0xff, 90));
    glow.setColorAt(1, QColor(0x5a, 0xa8, 0xff, 0));
    p.setBrush(glow);
    p.drawRect(card);
    // A wide waveform along the bottom of the card.
    const int bars = 40;
    const double slot = card.width() / bars;
    for (int i = 0; i < bars; ++i) {
        const double t = static_cast<double>(i) / (bars - 1);
        const double h = 18 + 70 * std::pow(std::sin(t * 3.14159 * 3.0 + 0.6), 2) *
                                  (0.55 + 0.45 * std::sin(t * 11.0));
        const QRectF bar(card.left() + i * slot + slot * 0.2, card.bottom() - 26 - h, slot * 0.6,
                         h);
        p.setBrush(QColor(0x7f, 0xb3, 0xff, 60 + static_cast<int>(90 * t)));
        p.drawRoundedRect(bar, slot * 0.3, slot * 0.3);
    }
    p.setClipping(false);

    QFont title("DejaVu Sans");
    title.setPixelSize(34);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(card.left() + 32, card.top() + 36, card.width() - 64, 44),
               Qt::AlignLeft | Qt::AlignVCenter, "Audio Converter");
    QFont line("DejaVu Sans");
    line.setPixelSize(13);
    p.setFont(line);
    p.setPen(QColor(0xc8, 0xd6, 0xe6));
    p.drawText(QRectF(card.left() + 34, card.top() + 82, card.width() - 64, 22),
               Qt::AlignLeft | Qt::AlignVCenter,
               "WAV  \u00b7  MP3  \u00b7  WMA  \u00b7  OGG  \u00b7  AAC  "
               "\u00b7  M4A  \u00b7  FLAC  \u00b7  MP2");
    QFont small("DejaVu Sans");
    small.setPixelSize(11);
    p.setFont(small);
    p.setPen(QColor(0xff, 0xff, 0xff, 170));
    p.drawText(QRectF(card.left(), card.bottom() - 24, card.width() - 20, 18),
               Qt::AlignRight | Qt::AlignVCenter, "Loading\u2026");
    p.end();
    // Stored unpremultiplied, as a PNG holds it.
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The About window's picture: a tall card in the splash's colours with a column of waveform
// bars and a ring.
QImage AboutPicture() {
    const int width = 125, height = 278;
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, width * 0.4, height);
    fill.setColorAt(0, QColor(0x2c, 0x5a, 0x8a));
    fill.setColorAt(1, QColor(0x0f, 0x1f, 0x33));
    p.fillRect(image.rect(), fill);
    QRadialGradient glow(QPointF(width * 0.7, 60), 150);
    glow.setColorAt(0, QColor(0x5a, 0xa8, 0xff, 110));
    glow.setColorAt(1, QColor(0x5a, 0xa8, 0xff, 0));
    p.fillRect(image.rect(), glow);
    // A ring around the upper waveform.
    p.setPen(QPen(QColor(0xff, 0xff, 0xff, 150), 3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(width / 2.0, 78), 40, 40);
    DrawWaveform(p, QRectF(width / 2.0 - 26, 58, 52, 40), 7, QColor(255, 255, 255, 230));
    // Horizontal bars that fade toward the bottom, like a level meter lying on its side.
    const int rows = 14;
    for (int i = 0; i < rows; ++i) {
        const double t = static_cast<double>(i) / (rows - 1);
        const double w = 24 + 62 * std::pow(std::sin(t * 3.14159 * 2.2 + 0.9), 2);
        const QRectF bar((width - w) / 2, 140 + i * 9, w, 5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x7f, 0xb3, 0xff, 200 - static_cast<int>(150 * t)));
        p.drawRoundedRect(bar, 2.5, 2.5);
    }
    p.end();
    return image.convertToFormat(QImage::Format_RGB32);
}

// Mono 16-bit PCM at 22050 Hz.
constexpr int SampleRate = 22050;

struct TNote {
    double StartSeconds;
    double Frequency;
    double Length;
    double Gain;
};

std::vector<int16_t> Chime(const std::vector<TNote>& notes, double seconds) {
    std::vector<double> mix(static_cast<size_t>(seconds * SampleRate), 0.0);
    for (const TNote& note : notes) {
        const auto first = static_cast<size_t>(note.StartSeconds * SampleRate);
        const auto count = static_cast<size_t>(note.Length * SampleRate);
        for (size_t i = 0; i < count && first + i < mix.size(); ++i) {
            const double t = static_cast<double>(i) / SampleRate;
            const double attack = std::min(1.0, t / 0.004);
            const double decay = std::exp(-t * 6.0 / note.Length);
            const double w = 2 * 3.14159265358979 * note.Frequency * t;
            // A bell-like tone: the fundamental with two soft overtones.
            const double tone = std::sin(w) + 0.35 * std::sin(2 * w) + 0.12 * std::sin(3 * w);
            mix[first + i] += note.Gain * attack * decay * tone;
        }
    }
    std::vector<int16_t> samples(mix.size());
    for (size_t i = 0; i < mix.size(); ++i)
        samples[i] = static_cast<int16_t>(std::lround(std::clamp(mix[i], -1.0, 1.0) * 32767 * 0.8));
    return samples;
}

void PutLE(QByteArray& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

bool WriteWav(const QString& path, const std::vector<int16_t>& samples) {
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    QByteArray out("RIFF");
    PutLE(out, 36 + dataBytes, 4);
    out.append("WAVEfmt ");
    PutLE(out, 16, 4);
    PutLE(out, 1, 2); // PCM
    PutLE(out, 1, 2); // mono
    PutLE(out, SampleRate, 4);
    PutLE(out, SampleRate * 2, 4);
    PutLE(out, 2, 2);
    PutLE(out, 16, 2);
    out.append("data");
    PutLE(out, dataBytes, 4);
    for (int16_t s : samples)
        PutLE(out, static_cast<uint16_t>(s), 2);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

bool SaveBytes(const QByteArray& bytes, const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

bool Save(const QImage& image, const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    const bool ok = image.save(path, "PNG", 9);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <source folder>\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]) + "/";
    bool ok = true;
    const struct {
        const char* Name;
        QColor Light, Dark;
    } icons[] = {
        {"a0", QColor(0x4a, 0x94, 0xf0), QColor(0x1b, 0x4f, 0x9c)},
        {"a1", QColor(0x2e, 0xc4, 0xa0), QColor(0x0e, 0x66, 0x55)},
        {"a2", QColor(0xf7, 0xa8, 0x3a), QColor(0xc0, 0x57, 0x10)},
        {"a3", QColor(0xa8, 0x6b, 0xd1), QColor(0x5b, 0x2c, 0x6f)},
    };
    for (const auto& icon : icons)
        ok &=
            Save(BrandIcon(icon.Light, icon.Dark), root + "app/window/icons/" + icon.Name + ".png");
    ok &= Save(AudioPicture(), root + "app/window/images/audio.png");
    ok &= Save(DropDownArrow(), root + "app/window/images/arrow-down.png");
    ok &= Save(SplashPicture(), root + "data/splash.png");
    ok &= Save(AboutPicture(), root + "windows/images/about.png");

    // The desktop's icon is the icon of the brand that ships (the first), in the sizes of the
    // icon theme and as a scalable picture.
    const auto& shipped = icons[0];
    const QString themeFolder = root + "data/desktop/icons/hicolor/";
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        ok &= Save(BrandIcon(shipped.Light, shipped.Dark, size),
                   themeFolder + QString("%1x%1/apps/org.example.audioconv.png").arg(size));
    ok &= SaveBytes(BrandIconSvg(shipped.Light, shipped.Dark),
                    themeFolder + "scalable/apps/org.example.audioconv.svg");

    QDir().mkpath(root + "data/sounds");
    // Done: a rising major triad. Fail: two falling low notes.
    const auto done = Chime(
        {{0.00, 1046.5, 0.45, 0.45}, {0.11, 1318.5, 0.45, 0.40}, {0.22, 1568.0, 0.60, 0.40}}, 0.85);
    const auto fail = Chime({{0.00, 440.0, 0.40, 0.55}, {0.22, 349.2, 0.60, 0.55}}, 0.85);
    for (const auto& [name, samples] : {std::pair{"done.wav", done}, std::pair{"fail.wav", fail}}) {
        const QString path = root + "data/sounds/" + name;
        const bool wrote = WriteWav(path, samples);
        std::printf("%s %s\n", wrote ? "wrote" : "FAILED", qPrintable(path));
        ok &= wrote;
    }
    return ok ? 0 : 1;
}
