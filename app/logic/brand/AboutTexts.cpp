#include "AboutTexts.h"

#include <ctime>

namespace {

// `text` with its first `mark` replaced by `value`; the value is put in as it stands, so a
// "%" inside the company stays text.
std::string Put(const std::string& text, const char* mark, const std::string& value) {
    const size_t at = text.find(mark);
    return at == std::string::npos ? text : text.substr(0, at) + value + text.substr(at + 2);
}

std::string CompanyLine(int year, const std::string& company) {
    const std::string dated = Put(CompanyTemplate, "%d", std::to_string(year));
    return Put(dated, "%s", company);
}

} // namespace

TAboutTexts MakeAboutTexts(const std::string& title, const TBrandFile& brand, int year,
                           const std::string& homePage, const std::string& supportMail) {
    return {"About " + title, title + " " + brand.Version, CompanyLine(year, brand.Company),
            homePage, supportMail};
}

int CurrentYear() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}
