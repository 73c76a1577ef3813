// The brands the program is shipped under, and the brand file that names one of them.
#pragma once

#include <array>
#include <string>

// The brand file beside the program (INI, section "SYSTEM"); the program only reads it.
inline constexpr const char* BrandFileName = "lame.dll";
inline constexpr const char* BrandSection = "SYSTEM";

struct TBrand {
    const char* Title;    // the application title that selects the row
    const char* SkinFile; // relative to the program folder
    const char* IconName; // icon resource, matched without regard to case
    const char* HelpLink;
    const char* HomePageLink;
    const char* UpdatesLink;
    const char* SupportMail; // without a scheme
};

extern const std::array<TBrand, 5> Brands;

// The row whose title equals `title` byte for byte (case-sensitive), or null.
const TBrand* FindBrand(const std::string& title);

// The three texts of the brand file; each is empty when the file, the section or the key
// is missing.
struct TBrandFile {
    std::string Name;
    std::string Version;
    std::string Company;
};
// Reads the brand file in `programFolder` (which ends with a separator).
TBrandFile ReadBrandFile(const std::string& programFolder);
