// A skin: the colours, fonts and metrics that dress the windows, read from the INI text of a
// skin file and turned into a style sheet for the widget toolkit.
//
// Skin file layout (every key optional; a missing or invalid value keeps the built-in look):
//   [Skin]    Name
//   [Colors]  Window, WindowText, Base, AlternateBase, Text, Button, ButtonText, Border,
//             Caption, CaptionText, Accent, AccentText, Disabled, Banner, BannerText
//             each "#rrggbb"
//   [Font]    Family, Size (points, 6 to 32), CaptionSize (6 to 32), CaptionBold (0 or 1)
//   [Metrics] CaptionHeight (pixels, 20 to 64), Radius (pixels, 0 to 12)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A colour as 0xRRGGBB.
using TSkinColour = uint32_t;

struct TSkin {
    std::string Name;

    TSkinColour Window = 0xf3f5f8;     // page background
    TSkinColour WindowText = 0x1f2933; // labels on the pages
    TSkinColour Base = 0xffffff;       // lists, edit fields, drop-down lists
    TSkinColour AlternateBase = 0xf7f9fb;
    TSkinColour Text = 0x1f2933; // text inside lists and fields
    TSkinColour Button = 0xe6eaf0;
    TSkinColour ButtonText = 0x1f2933;
    TSkinColour Border = 0xc4ccd6;
    TSkinColour Caption = 0x2d3e50; // the title bar the skin draws
    TSkinColour CaptionText = 0xffffff;
    TSkinColour Accent = 0x2f80ed; // selection, progress, focus, group titles
    TSkinColour AccentText = 0xffffff;
    TSkinColour Disabled = 0x9aa5b1; // text of disabled controls
    TSkinColour Banner = 0xe3e9f1;   // the band behind the instruction above the pages
    TSkinColour BannerText = 0x1f2933;

    std::string FontFamily = "DejaVu Sans";
    int FontSize = 9; // points
    int CaptionFontSize = 10;
    bool CaptionBold = true;

    int CaptionHeight = 30; // pixels
    int Radius = 3;         // corner radius of buttons, fields and groups
};

struct TSkinParse {
    TSkin Skin;
    // "Section.Key" of every value that was present but invalid (and so ignored).
    std::vector<std::string> Problems;
};

// Reads a skin from the text of a skin file; starts from the built-in look.
TSkinParse ParseSkin(const std::string& iniText);

// "#rrggbb" (either case) as a colour; false for anything else.
bool ParseSkinColour(const std::string& text, TSkinColour& colour);
// The colour as "#rrggbb".
std::string SkinColourText(TSkinColour colour);
// The colour `t` (0 to 1) of the way from `a` to `b`, channel by channel.
TSkinColour MixSkinColours(TSkinColour a, TSkinColour b, double t);

// The style sheet that dresses every window in the skin's look.
std::string SkinStyleSheet(const TSkin& skin);
