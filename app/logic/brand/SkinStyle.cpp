#include "SkinStyle.h"

#include <cmath>
#include <cstdio>

#include "settings/IniFile.h"
#include "settings/IniText.h"

namespace {

struct TColourKey {
    const char* Key;
    TSkinColour TSkin::*Field;
};

constexpr TColourKey ColourKeys[] = {
    {"Window", &TSkin::Window},
    {"WindowText", &TSkin::WindowText},
    {"Base", &TSkin::Base},
    {"AlternateBase", &TSkin::AlternateBase},
    {"Text", &TSkin::Text},
    {"Button", &TSkin::Button},
    {"ButtonText", &TSkin::ButtonText},
    {"Border", &TSkin::Border},
    {"Caption", &TSkin::Caption},
    {"CaptionText", &TSkin::CaptionText},
    {"Accent", &TSkin::Accent},
    {"AccentText", &TSkin::AccentText},
    {"Disabled", &TSkin::Disabled},
    {"Banner", &TSkin::Banner},
    {"BannerText", &TSkin::BannerText},
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads an integer key within [low, high] into `field`.
void ReadRange(const TIniText& ini, const char* section, const char* key, int low, int high,
               int& field, std::vector<std::string>& problems) {
    std::string text;
    if (!ini.Find(section, key, text))
        return;
    int32_t value = 0;
    if (ParseInteger(text, value) && value >= low && value <= high)
        field = value;
    else
        problems.push_back(std::string(section) + "." + key);
}

} // namespace

bool ParseSkinColour(const std::string& text, TSkinColour& colour) {
    if (text.size() != 7 || text[0] != '#')
        return false;
    TSkinColour value = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<TSkinColour>(digit);
    }
    colour = value;
    return true;
}

std::string SkinColourText(TSkinColour colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(colour & 0xffffff));
    return text;
}

TSkinColour MixSkinColours(TSkinColour a, TSkinColour b, double t) {
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    TSkinColour result = 0;
    for (int shift = 16; shift >= 0; shift -= 8) {
        const double ca = (a >> shift) & 0xff;
        const double cb = (b >> shift) & 0xff;
        result |= static_cast<TSkinColour>(std::lround(ca + (cb - ca) * t)) << shift;
    }
    return result;
}

TSkinParse ParseSkin(const std::string& iniText) {
    TSkinParse result;
    TSkin& skin = result.Skin;
    const TIniText ini = TIniText::Parse(iniText);
    std::string text;
    if (ini.Find("Skin", "Name", text))
        skin.Name = text;
    for (const auto& colour : ColourKeys) {
        if (!ini.Find("Colors", colour.Key, text))
            continue;
        if (!ParseSkinColour(text, skin.*colour.Field))
            result.Problems.push_back(std::string("Colors.") + colour.Key);
    }
    if (ini.Find("Font", "Family", text)) {
        // A family name goes into the style sheet between quotes: it may not hold any.
        if (!text.empty() && text.find_first_of("\"'\\;{}") == std::string::npos)
            skin.FontFamily = text;
        else
            result.Problems.push_back("Font.Family");
    }
    ReadRange(ini, "Font", "Size", 6, 32, skin.FontSize, result.Problems);
    ReadRange(ini, "Font", "CaptionSize", 6, 32, skin.CaptionFontSize, result.Problems);
    int bold = skin.CaptionBold ? 1 : 0;
    ReadRange(ini, "Font", "CaptionBold", 0, 1, bold, result.Problems);
    skin.CaptionBold = bold != 0;
    ReadRange(ini, "Metrics", "CaptionHeight", 20, 64, skin.CaptionHeight, result.Problems);
    ReadRange(ini, "Metrics", "Radius", 0, 12, skin.Radius, result.Problems);
    return result;
}

std::string SkinStyleSheet(const TSkin& s) {
    const auto c = SkinColourText;
    const std::string radius = std::to_string(s.Radius) + "px";
    const std::string buttonHover = c(MixSkinColours(s.Button, s.Accent, 0.18));
    const std::string buttonPressed = c(MixSkinColours(s.Button, s.Accent, 0.35));
    const std::string captionHover = c(MixSkinColours(s.Caption, s.CaptionText, 0.18));
    const std::string tabIdle = c(MixSkinColours(s.Window, s.Border, 0.35));
    std::string css;
    auto rule = [&css](const std::string& selector, const std::string& body) {
        css += selector + " {" + body + "}\n";
    };
    rule("QWidget", " font-family: \"" + s.FontFamily +
                        "\"; font-size: " + std::to_string(s.FontSize) + "pt; ");
    rule("QMainWindow, QDialog, QMessageBox, QWidget#FormMainBody",
         " background-color: " + c(s.Window) + "; color: " + c(s.WindowText) + "; ");
    rule("QLabel, QCheckBox, QRadioButton", " color: " + c(s.WindowText) + "; ");
    rule("QLabel:disabled, QCheckBox:disabled", " color: " + c(s.Disabled) + "; ");
    // The title bar the skin draws on the frameless main window.
    rule("QWidget#SkinTitleBar", " background-color: " + c(s.Caption) + "; ");
    rule("QLabel#SkinTitleCaption",
         " color: " + c(s.CaptionText) + "; font-size: " + std::to_string(s.CaptionFontSize) +
             "pt; font-weight: " + (s.CaptionBold ? "bold" : "normal") + "; ");
    rule("QWidget#SkinTitleBar QToolButton",
         " background: transparent; border: none; color: " + c(s.CaptionText) +
             "; font-size: 11pt; min-width: 40px; ");
    rule("QWidget#SkinTitleBar QToolButton:hover", " background-color: " + captionHover + "; ");
    rule("QToolButton#SkinButtonClose:hover", " background-color: #d9443c; color: #ffffff; ");
    // The instruction above the pages, on its own band.
    rule("QLabel#LabelTitle", " background-color: " + c(s.Banner) + "; color: " + c(s.BannerText) +
                                  "; padding: 8px 12px; border-bottom: 1px solid " + c(s.Border) +
                                  "; ");
    rule("QPushButton", " background-color: " + c(s.Button) + "; color: " + c(s.ButtonText) +
                            "; border: 1px solid " + c(s.Border) + "; border-radius: " + radius +
                            "; padding: 4px 14px; ");
    rule("QPushButton:hover",
         " background-color: " + buttonHover + "; border-color: " + c(s.Accent) + "; ");
    rule("QPushButton:pressed", " background-color: " + buttonPressed + "; ");
    rule("QPushButton:default", " border: 1px solid " + c(s.Accent) + "; ");
    rule("QPushButton:disabled", " color: " + c(s.Disabled) + "; border-color: " +
                                     c(MixSkinColours(s.Border, s.Window, 0.5)) + "; ");
    rule("QPushButton:checked", " background-color: " + c(s.Accent) + "; color: " +
                                    c(s.AccentText) + "; border-color: " + c(s.Accent) + "; ");
    // The format buttons have a fixed size of their own.
    rule("QPushButton[formatButton=\"true\"]", " padding: 0px; ");
    // The small windows' buttons keep the size they were designed with.
    rule("QPushButton[fixedSize=\"true\"]", " padding: 0px 3px; ");
    rule("QTabWidget::pane",
         " border: 1px solid " + c(s.Border) + "; background-color: " + c(s.Window) + "; ");
    rule("QTabBar::tab", " background-color: " + tabIdle + "; color: " + c(s.WindowText) +
                             "; border: 1px solid " + c(s.Border) +
                             "; padding: 4px 14px; margin-right: 2px; ");
    rule("QTabBar::tab:selected",
         " background-color: " + c(s.Window) + "; border-bottom-color: " + c(s.Window) + "; ");
    rule("QTableWidget, QTreeWidget, QListWidget, QLineEdit, QComboBox, QPlainTextEdit",
         " background-color: " + c(s.Base) + "; color: " + c(s.Text) + "; border: 1px solid " +
             c(s.Border) + "; border-radius: " + radius + "; selection-background-color: " +
             c(s.Accent) + "; selection-color: " + c(s.AccentText) + "; ");
    rule("QTableWidget, QTreeWidget, QListWidget",
         " alternate-background-color: " + c(s.AlternateBase) + "; ");
    rule("QLineEdit, QComboBox", " padding: 3px 6px; ");
    rule("QComboBox::drop-down", " subcontrol-origin: padding; subcontrol-position: center right; "
                                 "width: 22px; border: none; ");
    rule("QComboBox::down-arrow",
         " image: url(:/images/arrow-down.png); width: 12px; height: 8px; ");
    rule("QLineEdit:focus, QComboBox:focus", " border-color: " + c(s.Accent) + "; ");
    rule("QHeaderView::section",
         " background-color: " + c(s.Button) + "; color: " + c(s.ButtonText) +
             "; border: none; border-right: 1px solid " + c(s.Border) + "; padding: 3px 6px; ");
    rule("QGroupBox", " border: 1px solid " + c(s.Border) + "; border-radius: " + radius +
                          "; margin-top: 14px; padding-top: 6px; ");
    rule("QGroupBox::title", " subcontrol-origin: margin; left: 10px; padding: 0 4px; color: " +
                                 c(s.Accent) + "; font-weight: bold; ");
    rule("QProgressBar", " background-color: " + c(s.Base) + "; border: 1px solid " + c(s.Border) +
                             "; border-radius: " + radius +
                             "; text-align: center; color: " + c(s.Text) + "; ");
    rule("QProgressBar::chunk",
         " background-color: " + c(s.Accent) + "; border-radius: " + radius + "; ");
    rule("QMenu", " background-color: " + c(s.Base) + "; color: " + c(s.Text) +
                      "; border: 1px solid " + c(s.Border) + "; padding: 4px 0; ");
    rule("QMenu::item", " padding: 4px 24px; ");
    rule("QMenu::item:selected",
         " background-color: " + c(s.Accent) + "; color: " + c(s.AccentText) + "; ");
    rule("QMenu::separator", " height: 1px; background: " + c(s.Border) + "; margin: 4px 8px; ");
    rule("QFrame#FinishRule", " background-color: " + c(s.Border) + "; max-height: 1px; ");
    rule("QLabel#LabelOpenFolder", " color: " + c(s.Accent) + "; text-decoration: underline; ");
    return css;
}
