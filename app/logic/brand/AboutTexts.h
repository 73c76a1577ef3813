// The texts of the About window.
#pragma once

#include <string>

#include "Brands.h"

// The company line: the current year ends the range, the brand file's company follows.
inline constexpr const char* CompanyTemplate = "Copyright \u00a9 2009-%d %s";

// The legal notice under the links.
inline constexpr const char* LegalNotice =
    "This program is protected by copyright law and international treaties. You may use it "
    "under the terms of its licence; copying it, passing it on or selling it, whole or in "
    "part, without the written consent of the copyright holder is not allowed.";

struct TAboutTexts {
    std::string Caption;     // "About " + title
    std::string AppName;     // title + " " + version
    std::string Company;     // the company line
    std::string HomePage;    // `labHomePage`
    std::string SupportMail; // `labSupportMail`, without a scheme
};

// The About window's texts for the application `title`, the brand file's version and
// company, the year `year` and the brand's links. Empty values stay empty.
TAboutTexts MakeAboutTexts(const std::string& title, const TBrandFile& brand, int year,
                           const std::string& homePage, const std::string& supportMail);

// The current year of the local calendar.
int CurrentYear();
