// Guards the direction of every include: a file may include only files of its own layer and
// of the layers below it, and only the window code and the programs' entry points include Qt.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Stands in a layer's list for every room of the shell's logic.
const char* const LogicRooms = "app/logic/*";

// The layers, each with the folder that holds it (longest prefix wins) and the layers it may
// include. "entry" is the programs' entry points at the root of app/.
struct TLayer {
    const char* Name;
    const char* Folder;
    std::set<std::string> MayUse;
    bool MayUseQt;
};

const std::vector<TLayer>& Layers() {
    static const std::vector<TLayer> layers = {
        {"media", "media/", {"media"}, false},
        {"engine", "engine/", {"engine", "media"}, false},
        {"components", "components/", {"components", "engine", "media"}, false},
        // The shell's logic: its root holds what every room shares; settings come first,
        // the brand and the sources build on them, the jobs on the sources.
        {"app/logic", "app/logic/", {"app/logic", "components", "engine", "media"}, false},
        {"app/logic/settings",
         "app/logic/settings/",
         {"app/logic/settings", "app/logic", "components", "engine", "media"},
         false},
        {"app/logic/brand",
         "app/logic/brand/",
         {"app/logic/brand", "app/logic/settings", "app/logic", "components", "engine", "media"},
         false},
        {"app/logic/sources",
         "app/logic/sources/",
         {"app/logic/sources", "app/logic/settings", "app/logic", "components", "engine", "media"},
         false},
        {"app/logic/jobs",
         "app/logic/jobs/",
         {"app/logic/jobs", "app/logic/sources", "app/logic/settings", "app/logic", "components",
          "engine", "media"},
         false},
        {"app/cli", "app/cli/", {"app/cli", LogicRooms, "components", "engine", "media"}, false},
        {"app/window",
         "app/window/",
         {"app/window", LogicRooms, "components", "engine", "media"},
         true},
        {"windows",
         "windows/",
         {"windows", "app/window", LogicRooms, "components", "engine", "media"},
         true},
        {"entry",
         "app/",
         {"entry", "windows", "app/window", "app/cli", LogicRooms, "components", "engine", "media"},
         true},
    };
    return layers;
}

// Folders outside the layers where Qt is at home: the tests and benchmarks of the windows and
// the art tool.
const char* const QtTestFolders[] = {"tests/app/window/", "tests/windows/", "bench/window/",
                                     "data/art/"};

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool MayInclude(const TLayer& layer, const TLayer& used) {
    if (layer.MayUse.count(used.Name))
        return true;
    return layer.MayUse.count(LogicRooms) && StartsWith(used.Name, "app/logic");
}

const TLayer* LayerOf(const std::string& path) {
    const TLayer* best = nullptr;
    for (const TLayer& layer : Layers()) {
        const std::string folder = layer.Folder;
        if (!StartsWith(path, folder))
            continue;
        // app/ holds only the entry points at its root; its subfolders are layers of their own.
        if (folder == "app/" && path.find('/', folder.size()) != std::string::npos)
            continue;
        if (!best || folder.size() > std::string(best->Folder).size())
            best = &layer;
    }
    return best;
}

bool IsQtHeader(const std::string& name) {
    static const std::regex qt(R"(^(Qt[A-Za-z]*/|Q[A-Z][A-Za-z]*$|Qt[A-Z][A-Za-z]*$))");
    return std::regex_search(name, qt);
}

bool IsSourceFile(const fs::path& p) {
    const std::string ext = p.extension().string();
    return ext == ".cpp" || ext == ".h" || ext == ".c";
}

struct TInclude {
    std::string Name;
    bool Quoted;
};

std::vector<TInclude> IncludesOf(const fs::path& file) {
    static const std::regex line(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<TInclude> result;
    std::ifstream in(file);
    std::string text;
    std::smatch m;
    while (std::getline(in, text))
        if (std::regex_search(text, m, line))
            result.push_back({m[2].str(), m[1].str() == "\""});
    return result;
}

} // namespace

// Every violation in the tree below `root`, one line each: "file: includes name (reason)".
std::vector<std::string> LayeringViolations(const fs::path& root) {
    std::vector<std::string> files;
    for (const char* top :
         {"media", "engine", "components", "app", "windows", "tests", "bench", "data"}) {
        if (!fs::exists(root / top))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / top))
            if (entry.is_regular_file() && IsSourceFile(entry.path()))
                files.push_back(fs::relative(entry.path(), root).generic_string());
    }
    std::sort(files.begin(), files.end());

    // A quoted include names a file beside the includer or a path below one of the include
    // roots; both are found by matching the end of the project's paths.
    auto resolve = [&](const std::string& from, const std::string& name) -> std::string {
        const std::string beside =
            (fs::path(from).parent_path() / name).lexically_normal().generic_string();
        if (std::binary_search(files.begin(), files.end(), beside))
            return beside;
        std::string found;
        for (const std::string& f : files)
            if (f.size() > name.size() &&
                f.compare(f.size() - name.size(), name.size(), name) == 0 &&
                f[f.size() - name.size() - 1] == '/') {
                if (!found.empty())
                    return "ambiguous";
                found = f;
            }
        return found;
    };

    std::vector<std::string> violations;
    for (const std::string& file : files) {
        const TLayer* layer = LayerOf(file);
        bool qtAllowed = layer ? layer->MayUseQt : false;
        for (const char* folder : QtTestFolders)
            qtAllowed = qtAllowed || StartsWith(file, folder);
        for (const TInclude& include : IncludesOf(root / file)) {
            if (!include.Quoted) {
                if (IsQtHeader(include.Name) && !qtAllowed)
                    violations.push_back(file + ": includes <" + include.Name +
                                         "> (Qt outside the window code)");
                continue;
            }
            const std::string target = resolve(file, include.Name);
            if (target == "ambiguous") {
                violations.push_back(file + ": includes \"" + include.Name +
                                     "\" (names more than one file of the project)");
                continue;
            }
            if (target.empty() || !layer)
                continue;
            if (StartsWith(target, "tests/") || StartsWith(target, "bench/")) {
                violations.push_back(file + ": includes \"" + include.Name +
                                     "\" (a test or benchmark file)");
                continue;
            }
            const TLayer* used = LayerOf(target);
            if (used && !MayInclude(*layer, *used))
                violations.push_back(file + ": includes \"" + include.Name + "\" (" + layer->Name +
                                     " may not use " + used->Name + ")");
        }
    }
    return violations;
}

namespace {

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines)
        text += l + "\n";
    return text;
}

class LayeringScratch : public ::testing::Test {
protected:
    void SetUp() override {
        Root = fs::path(AUDIOCONV_TEST_TMP_DIR) /
               ("layering-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(Root);
    }
    void TearDown() override { fs::remove_all(Root); }
    void Write(const std::string& path, const std::string& text) {
        fs::create_directories((Root / path).parent_path());
        std::ofstream(Root / path) << text;
    }
    fs::path Root;
};

} // namespace

TEST(Layering, ProjectIncludesRunDownwardOnly) {
    const std::vector<std::string> violations = LayeringViolations(AUDIOCONV_SOURCE_DIR);
    EXPECT_TRUE(violations.empty()) << Joined(violations);
}

TEST_F(LayeringScratch, IncludeRunningUpIsNamed) {
    Write("media/utils/Low.h", "#include \"task/High.h\"\n");
    Write("engine/task/High.h", "#pragma once\n");
    const auto violations = LayeringViolations(Root);
    ASSERT_EQ(violations.size(), 1u) << Joined(violations);
    EXPECT_EQ(violations[0],
              "media/utils/Low.h: includes \"task/High.h\" (media may not use engine)");
}

TEST_F(LayeringScratch, QtOutsideTheWindowCodeIsNamed) {
    Write("app/logic/Rule.cpp", "#include <QString>\n#include <string>\n");
    Write("app/window/Frame.cpp", "#include <QWidget>\n#include \"Rule.h\"\n");
    Write("app/logic/Rule.h", "#pragma once\n");
    Write("app/Entry.cpp", "#include <QApplication>\n#include \"Frame.h\"\n");
    const auto violations = LayeringViolations(Root);
    ASSERT_EQ(violations.size(), 1u) << Joined(violations);
    EXPECT_EQ(violations[0], "app/logic/Rule.cpp: includes <QString> (Qt outside the window code)");
}

TEST_F(LayeringScratch, SiblingsAndDownwardIncludesPass) {
    Write("components/Probe.h", "#include \"log/Log.h\"\n#include \"FFmpeg.h\"\n");
    Write("media/log/Log.h", "#pragma once\n");
    Write("engine/FFmpeg.h", "#include \"task/Thread.h\"\n");
    Write("engine/task/Thread.h", "#pragma once\n");
    Write("app/cli/Batch.cpp", "#include \"Probe.h\"\n");
    EXPECT_TRUE(LayeringViolations(Root).empty()) << Joined(LayeringViolations(Root));
}

TEST_F(LayeringScratch, CommandLineAndWindowDoNotUseEachOther) {
    Write("app/cli/Batch.h", "#pragma once\n");
    Write("app/window/Frame.cpp", "#include \"Batch.h\"\n");
    const auto violations = LayeringViolations(Root);
    ASSERT_EQ(violations.size(), 1u) << Joined(violations);
    EXPECT_EQ(violations[0],
              "app/window/Frame.cpp: includes \"Batch.h\" (app/window may not use app/cli)");
}

TEST_F(LayeringScratch, LogicRoomsIncludeDownwardOnly) {
    Write("app/logic/settings/Store.h", "#include \"jobs/Queue.h\"\n");
    Write("app/logic/jobs/Queue.h", "#include \"sources/Facts.h\"\n#include \"Shared.h\"\n");
    Write("app/logic/sources/Facts.h", "#include \"brand/Skin.h\"\n");
    Write("app/logic/brand/Skin.h", "#include \"settings/Store.h\"\n");
    Write("app/logic/Shared.h", "#pragma once\n");
    Write("app/cli/Batch.cpp", "#include \"jobs/Queue.h\"\n#include \"brand/Skin.h\"\n");
    const auto violations = LayeringViolations(Root);
    ASSERT_EQ(violations.size(), 2u) << Joined(violations);
    EXPECT_EQ(violations[0], "app/logic/settings/Store.h: includes \"jobs/Queue.h\" "
                             "(app/logic/settings may not use app/logic/jobs)");
    EXPECT_EQ(violations[1], "app/logic/sources/Facts.h: includes \"brand/Skin.h\" "
                             "(app/logic/sources may not use app/logic/brand)");
}
