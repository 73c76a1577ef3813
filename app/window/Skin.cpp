#include "Skin.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QFont>

#include "brand/StartUp.h"

namespace {

QColor ToColor(TSkinColour colour) {
    return QColor::fromRgb(static_cast<QRgb>(colour & 0xffffff));
}

} // namespace

bool LoadSkinFile(const std::string& fileName, TSkin& skin) {
    const TSkinKind kind = SkinKindOf(fileName);
    if (kind == TSkinKind::skNone)
        return false;
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray content = file.readAll();
    if (kind == TSkinKind::skCompressed) {
        // qUncompress gives an empty array for anything that is not its own layout.
        if (content.isEmpty())
            return false;
        content = qUncompress(content);
        if (content.isEmpty())
            return false;
    }
    skin = ParseSkin(content.toStdString()).Skin;
    return true;
}

QPalette SkinPalette(const TSkin& skin) {
    QPalette palette;
    palette.setColor(QPalette::Window, ToColor(skin.Window));
    palette.setColor(QPalette::WindowText, ToColor(skin.WindowText));
    palette.setColor(QPalette::Base, ToColor(skin.Base));
    palette.setColor(QPalette::AlternateBase, ToColor(skin.AlternateBase));
    palette.setColor(QPalette::Text, ToColor(skin.Text));
    palette.setColor(QPalette::Button, ToColor(skin.Button));
    palette.setColor(QPalette::ButtonText, ToColor(skin.ButtonText));
    palette.setColor(QPalette::Highlight, ToColor(skin.Accent));
    palette.setColor(QPalette::HighlightedText, ToColor(skin.AccentText));
    palette.setColor(QPalette::Link, ToColor(skin.Accent));
    palette.setColor(QPalette::ToolTipBase, ToColor(skin.Base));
    palette.setColor(QPalette::ToolTipText, ToColor(skin.Text));
    palette.setColor(QPalette::PlaceholderText, ToColor(skin.Disabled));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, ToColor(skin.Disabled));
    return palette;
}

QString MenuDisabledRule(const TSkin& skin) {
    // A menu entry that cannot be chosen is drawn in the skin's colour of disabled text.
    return QString(" QMenu::item:disabled { color: %1; }")
        .arg(ToColor(skin.Disabled).name(QColor::HexRgb));
}

void ApplySkin(const TSkin& skin) {
    QApplication::setPalette(SkinPalette(skin));
    QFont font(QString::fromStdString(skin.FontFamily));
    font.setPointSize(skin.FontSize);
    QApplication::setFont(font);
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        app->setStyleSheet(QString::fromStdString(SkinStyleSheet(skin)) + MenuDisabledRule(skin));
}
