#include "Brands.h"

#include "settings/IniFile.h"

namespace {

// The real addresses are not known yet: every link lies under the reserved ".example"
// domain, so each one is a one-line change here. Tavrel's help page is its home page.
constexpr const char* TavrelHome = "https://tavrel.example/";

} // namespace

// clang-format off
const std::array<TBrand, 5> Brands = {{
    // Title                      Skin file                 Icon  Help link                         Home page                    Updates page                          Support mail
    {"Tavrel Audio Converter",  "sounds/skin1/skin.ini", "a0", TavrelHome,                       TavrelHome,                  "https://tavrel.example/updates/",  "support@tavrel.example"},
    {"Onsby Audio Converter",   "sounds/skin2/skin.ini", "a1", "https://onsby.example/help/",    "https://onsby.example/",    "https://onsby.example/updates/",   "support@onsby.example"},
    {"Kestrin Audio Converter", "sounds/skin3/skin.ini", "a2", "https://kestrin.example/help/",  "https://kestrin.example/",  "https://kestrin.example/updates/", "support@kestrin.example"},
    {"Drumlo Audio Converter",  "sounds/skin4/skin.ini", "a3", "https://drumlo.example/help/",   "https://drumlo.example/",   "https://drumlo.example/updates/",  "support@drumlo.example"},
    {"Fenwary Converter",       "sounds/skin5/skin.ini", "a0", "https://fenwary.example/help/",  "https://fenwary.example/",  "https://fenwary.example/updates/", "support@fenwary.example"},
}};
// clang-format on

const TBrand* FindBrand(const std::string& title) {
    for (const auto& brand : Brands)
        if (title == brand.Title)
            return &brand;
    return nullptr;
}

TBrandFile ReadBrandFile(const std::string& programFolder) {
    const TIniFile file(programFolder + BrandFileName);
    return {file.ReadString(BrandSection, "Name", ""), file.ReadString(BrandSection, "Version", ""),
            file.ReadString(BrandSection, "Company", "")};
}
