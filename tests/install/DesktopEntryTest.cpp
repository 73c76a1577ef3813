// What the desktop entry and the software centre's description say, checked against the
// program: the types of the files it accepts, the brand it ships with, its version and the
// README's screenshots.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "brand/Brands.h"
#include "settings/IniFile.h"
#include "sources/SourceExtensions.h"

namespace {

const std::string Desktop =
    std::string(AUDIOCONV_SOURCE_DIR) + "/data/desktop/" + AUDIOCONV_APP_ID + ".desktop";
const std::string MetaInfo =
    std::string(AUDIOCONV_SOURCE_DIR) + "/data/desktop/" + AUDIOCONV_APP_ID + ".metainfo.xml";
const char* const MimeGlobs = "/usr/share/mime/globs2";

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The MIME types the desktop's type database gives to "*.ext" names, by extension ".ext".
std::map<std::string, std::set<std::string>> TypesByExtension() {
    std::map<std::string, std::set<std::string>> types;
    std::ifstream in(MimeGlobs);
    for (std::string line; std::getline(in, line);) {
        // weight:type:glob[:flags]
        const std::vector<std::string> fields = Split(line, ':');
        if (line.starts_with('#') || fields.size() < 3 || !fields[2].starts_with("*."))
            continue;
        const std::string extension = fields[2].substr(1);
        if (extension.find_first_of("*?[") == std::string::npos)
            types[Lower(extension)].insert(fields[1]);
    }
    return types;
}

bool IsAudioOrVideo(const std::string& type) {
    return type.starts_with("audio/") || type.starts_with("video/");
}

TEST(DesktopEntry, OffersToOpenEveryAcceptedTypeAndNothingElse) {
    ASSERT_TRUE(std::filesystem::exists(MimeGlobs)) << "the package shared-mime-info is missing";
    const auto globTypes = TypesByExtension();
    const std::vector<std::string> listed =
        Split(TIniFile(Desktop).ReadString("Desktop Entry", "MimeType", ""), ';');
    const std::set<std::string> listedSet(listed.begin(), listed.end());
    EXPECT_EQ(listedSet.size(), listed.size()) << "a type is listed twice";

    // Every audio or video type of an accepted extension is listed.
    std::set<std::string> typesOfAccepted;
    for (const std::string& extension : AcceptedSourceExtensions()) {
        const auto found = globTypes.find(extension);
        if (found == globTypes.end())
            continue; // the database does not know the extension: no file gets a type from it
        for (const std::string& type : found->second) {
            typesOfAccepted.insert(type);
            if (IsAudioOrVideo(type)) {
                EXPECT_TRUE(listedSet.contains(type)) << type << " of " << extension;
            }
        }
    }
    // Every listed type is one of an accepted extension: no typo, no type of other files
    // (".ts" is also a translation source, text/vnd.trolltech.linguist).
    for (const std::string& type : listed) {
        EXPECT_TRUE(typesOfAccepted.contains(type)) << type << " is no type of an accepted file";
        EXPECT_FALSE(type.starts_with("text/")) << type;
    }
}

TEST(DesktopEntry, NamesTheShippedBrandAndItsProgram) {
    const TIniFile entry(Desktop);
    const std::string brand = ReadBrandFile(AUDIOCONV_BIN_DIR "/").Name;
    ASSERT_NE(FindBrand(brand), nullptr) << brand;
    EXPECT_EQ(entry.ReadString("Desktop Entry", "Name", ""), brand);
    EXPECT_NE(ReadText(MetaInfo).find("<name>" + brand + "</name>"), std::string::npos);
    EXPECT_EQ(entry.ReadString("Desktop Entry", "Exec", ""), "audioconv %F");
    EXPECT_EQ(entry.ReadString("Desktop Entry", "Icon", ""), AUDIOCONV_APP_ID);
}

TEST(MetaInfo, NewestReleaseIsTheProjectVersion) {
    const std::string text = ReadText(MetaInfo);
    std::smatch release;
    ASSERT_TRUE(std::regex_search(text, release, std::regex(R"re(<release version="([^"]+)")re")));
    EXPECT_EQ(release[1].str(), AUDIOCONV_VERSION);
}

TEST(MetaInfo, ShowsEveryScreenshotOfTheReadme) {
    const std::string readme = ReadText(std::string(AUDIOCONV_SOURCE_DIR) + "/README.md");
    const std::string text = ReadText(MetaInfo);
    const std::regex picture(R"(!\[[^\]]*\]\(docs/([^)]+\.png)\))");
    int pictures = 0;
    for (auto it = std::sregex_iterator(readme.begin(), readme.end(), picture);
         it != std::sregex_iterator(); ++it, ++pictures) {
        const std::string name = (*it)[1].str();
        EXPECT_TRUE(std::filesystem::exists(std::string(AUDIOCONV_SOURCE_DIR) + "/docs/" + name));
        EXPECT_TRUE(
            std::regex_search(text, std::regex("<image>https://[^<]*/" + name + "</image>")))
            << name << " of the README is no screenshot of the metainfo";
    }
    EXPECT_GT(pictures, 0) << "the README shows no screenshot";
}

} // namespace
