#include "StartUp.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "Brands.h"
#include "settings/UtilFuncs.h"

namespace fs = std::filesystem;

namespace {

std::string& TitleStore() {
    static std::string title;
    return title;
}

} // namespace

const std::string& ApplicationTitle() {
    return TitleStore();
}

void SetApplicationTitle(const std::string& title) {
    TitleStore() = title;
}

std::string BrandIconName(const std::string& title) {
    const TBrand* brand = FindBrand(title);
    return brand ? brand->IconName : "";
}

std::string ApplyBrand(TGlobalVars& vars, const std::string& title,
                       const std::string& programFolder) {
    const TBrand* brand = FindBrand(title);
    if (!brand)
        return "";
    vars.HelpLink = brand->HelpLink;
    vars.HomePageLink = brand->HomePageLink;
    vars.UpdatesLink = brand->UpdatesLink;
    vars.SupportMail = brand->SupportMail;
    return EnsureTrailingSeparator(programFolder) + brand->SkinFile;
}

void SetDefaultSettings(TGlobalVars& vars) {
    const std::string documents = GetShellFolder("Personal");
    vars.LastOpenDir = documents;
    vars.OutputFileDir = documents;
    vars.OutputFormat = ofMP3;
    vars.PresetIndex.fill(0);
    vars.PlayASoundWhenFinished = false;
    vars.ShutDownWhenFinished = false;
    vars.SimultaneousConversions = SimultaneousConversionsLimit();
}

TShellStart StartShell(TGlobalVars& vars, const std::string& title,
                       const std::string& programFolder, const std::string& oldLogFile) {
    TShellStart start;
    start.SkinFile = ApplyBrand(vars, title, programFolder);
    const TDataFolder data = MakeDataFolder(GetShellFolder("AppData"), title);
    vars.DataFolder = data.Folder;
    SetDefaultSettings(vars);
    start.SettingsExisted = LoadSettings(vars);
    if (!oldLogFile.empty())
        LoadOldLog(oldLogFile, vars.LogLines);
    // After the old log, which replaces the log's lines.
    if (!data.Problem.empty())
        vars.LogLines.push_back(data.Problem);
    return start;
}

std::string OldLogFileName(const std::string& programPath) {
    return fs::path(programPath).replace_extension(".log").string();
}

void LoadOldLog(const std::string& fileName, std::vector<std::string>& lines) {
    std::error_code ec;
    if (!fs::exists(fileName, ec))
        return;
    std::vector<std::string> read;
    // A folder opens like a file but fails on the first read, which the stream library
    // reports by throwing; either way the log starts empty.
    if (!fs::is_directory(fileName, ec)) {
        std::ifstream in(fileName, std::ios::binary);
        try {
            for (std::string line; std::getline(in, line);) {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                read.push_back(std::move(line));
            }
        } catch (const std::ios_base::failure&) {
            read.clear();
        }
        if (!in.is_open() || in.bad())
            read.clear();
    }
    lines = std::move(read);
}

TSkinKind SkinKindOf(const std::string& fileName) {
    std::string ext = fs::path(fileName).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".ini")
        return TSkinKind::skPlain;
    if (ext == ".skn")
        return TSkinKind::skCompressed;
    return TSkinKind::skNone;
}
