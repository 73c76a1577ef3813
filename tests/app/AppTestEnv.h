// Fixtures shared by the shell logic tests: a fresh temporary folder and a home whose XDG
// variables are set for the test and restored after it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace apptest {

namespace fs = std::filesystem;

// A fresh, empty folder under the test temporary folder, with a trailing separator. The
// running test's name is part of the path, so tests run side by side never share one.
inline std::string FreshDir(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string test = info ? std::string(info->test_suite_name()) + "." + info->name() : "";
    for (char& c : test)
        if (c == '/')
            c = '_';
    const fs::path p = fs::path(AUDIOCONV_TEST_TMP_DIR) / "app" / test / name;
    fs::remove_all(p);
    fs::create_directories(p);
    return p.string() + "/";
}

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sets or unsets environment variables and puts the old values back when destroyed.
class TEnvGuard {
public:
    ~TEnvGuard() {
        for (auto it = Saved.rbegin(); it != Saved.rend(); ++it)
            Apply(it->first, it->second);
    }
    void Set(const std::string& name, std::optional<std::string> value) {
        const char* old = std::getenv(name.c_str());
        Saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        Apply(name, value);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> Saved;
    static void Apply(const std::string& name, const std::optional<std::string>& value) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
};

// A home folder of its own with no XDG variables: "AppData" is Home + ".config".
class THomeGuard {
public:
    explicit THomeGuard(const std::string& name) : Home(FreshDir(name)) {
        Env.Set("HOME", Home.substr(0, Home.size() - 1));
        Env.Set("XDG_CONFIG_HOME", std::nullopt);
        Env.Set("XDG_DOCUMENTS_DIR", std::nullopt);
    }
    const std::string Home; // with a trailing separator
    TEnvGuard Env;
};

} // namespace apptest
