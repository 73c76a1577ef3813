#include <dlfcn.h>
#include <malloc.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FFLoad.h"
#include "MyUtils.h"
#include "binding/AVCodecStubs.h"
#include "binding/AVFormatStubs.h"
#include "binding/AVUtilStubs.h"
#include "binding/SwScaleStubs.h"
#include "log/FFLog.h"

namespace fs = std::filesystem;

namespace {

// Every test starts and ends with nothing loaded and the default names.
class Loader : public ::testing::Test {
protected:
    void SetUp() override { Restore(); }
    void TearDown() override { Restore(); }
    static void Restore() {
        FFLoader->Unload(AllLibraries);
        for (int i = 0; i < LibraryCount; ++i)
            FFLoader->SetLibraryFileName(static_cast<TAVLibrary>(i), "");
        FFLoader->SetLibraryPath("");
    }
    static std::string FixtureDir(const char* sub) {
        return std::string(AUDIOCONV_FIXTURE_LIB_DIR) + "/" + sub;
    }
    // A fresh, empty folder for one test.
    static std::string EmptyDir(const std::string& name) {
        const fs::path p = fs::path(AUDIOCONV_TEST_TMP_DIR) / name;
        fs::remove_all(p);
        fs::create_directories(p);
        return p.string();
    }
};

TEST_F(Loader, LibraryFileNames) {
    EXPECT_EQ(FFLoader->LibraryFileName(LibAVCodec),
              "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR));
    EXPECT_EQ(FFLoader->LibraryFileName(LibCRuntime), "libc.so.6");
    EXPECT_TRUE(LibraryItem(LibCRuntime).SystemLibrary);
    EXPECT_EQ(DefaultLibraryFileName("avcore", 0), "libavcore.so.0");
    EXPECT_EQ(DefaultLibraryFileName("plain", -1), "libplain.so");
    FFLoader->SetLibraryFileName(LibSwScale, "/opt/x/libmyscale.so");
    EXPECT_EQ(FFLoader->LibraryFileName(LibSwScale), "/opt/x/libmyscale.so");
}

TEST_F(Loader, LoadsEncoderLibrariesFromFolderAndOnlyHooksRunAgain) {
    FFLoader->SetLibraryPath(AUDIOCONV_LIB_DIR);
    ASSERT_TRUE(FFLoader->Load(EncoderLibraries)) << FFLoader->LastErrMsg();
    EXPECT_TRUE(FFLoader->Loaded(EncoderLibraries));
    EXPECT_FALSE(FFLoader->Loaded(LibAVDevice));
    EXPECT_FALSE(FFLoader->Loaded(AllLibraries));
    ASSERT_NE(ff::avcodec_version, nullptr);
    EXPECT_EQ(ff::avcodec_version() >> 16, unsigned(LIBAVCODEC_VERSION_MAJOR));

    // The folder's file was the one loaded.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(ff::avformat_version), &info), 0);
    EXPECT_EQ(fs::canonical(info.dli_fname),
              fs::canonical(std::string(AUDIOCONV_LIB_DIR) + "/libavformat.so." +
                            std::to_string(LIBAVFORMAT_VERSION_MAJOR)));

    std::vector<void*> handles;
    for (int i = 0; i < LibraryCount; ++i)
        handles.push_back(FFLoader->Status(static_cast<TAVLibrary>(i)).Handle);
    auto* pointerBefore = ff::avcodec_version;

    std::vector<std::string> lines;
    TFFLogger* logger = FFLogger();
    logger->SetLogLevel(llDebug);
    logger->TriggerEventInMainThread = false;
    logger->SetOnLog(
        [&](void*, uint32_t, TLogLevel, const std::string& msg) { lines.push_back(msg); });

    ASSERT_TRUE(FFLoader->Load(EncoderLibraries));
    logger->SetOnLog(nullptr);
    logger->SetLogLevel(llInfo);

    for (int i = 0; i < LibraryCount; ++i)
        EXPECT_EQ(FFLoader->Status(static_cast<TAVLibrary>(i)).Handle, handles[i]);
    EXPECT_EQ(ff::avcodec_version, pointerBefore);
    // The lock manager was registered anew: its mutex destroyed and created again.
    auto has = [&](const std::string& prefix) {
        for (const auto& l : lines)
            if (l.rfind(prefix, 0) == 0)
                return true;
        return false;
    };
    EXPECT_TRUE(has("destory codec mutex [")) << testing::PrintToString(lines);
    EXPECT_TRUE(has("create codec mutex [")) << testing::PrintToString(lines);

    FFLoader->Unload(EncoderLibraries);
    EXPECT_FALSE(FFLoader->Loaded(LibAVCodec));
    EXPECT_EQ(ff::avcodec_version, nullptr);
    EXPECT_EQ(FFLoader->Status(LibAVCodec).Handle, nullptr);
}

// Once the libraries are loaded, a large block they free leaves the next large blocks mapped
// (given back to the system when freed) instead of moving them into the heap, where a long
// batch's small records between them would keep the freed space.
TEST_F(Loader, LargeBlocksStayMappedAfterTheLibrariesFreeOne) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps no glibc heap";
#else
    FFLoader->SetLibraryPath(AUDIOCONV_LIB_DIR);
    ASSERT_TRUE(FFLoader->Load(EncoderLibraries)) << FFLoader->LastErrMsg();
    constexpr size_t Freed = 1 << 20; // as the libraries free for every file they open
    void* big = ff::av_malloc(Freed);
    ASSERT_NE(big, nullptr);
    std::memset(big, 1, Freed);
    ff::av_free(big);

    for (const size_t size : {size_t(160) << 10, size_t(550) << 10, size_t(900) << 10}) {
        const size_t mappedBefore = mallinfo2().hblkhd;
        void* block = ff::av_malloc(size);
        ASSERT_NE(block, nullptr);
        const size_t mappedAfter = mallinfo2().hblkhd;
        ff::av_free(block);
        EXPECT_GE(mappedAfter, mappedBefore + size) << size << " bytes came from the heap";
    }
#endif
}

TEST_F(Loader, MissingFromFolderFallsBackToBareName) {
    FFLoader->SetLibraryPath(EmptyDir("empty-lib"));
    ASSERT_TRUE(FFLoader->Load(LibSwScale)) << FFLoader->LastErrMsg();
    EXPECT_NE(ff::swscale_version, nullptr);

    FFLoader->SetLibraryFileName(LibAVFilter, "libnosuchlibrary.so.3");
    EXPECT_FALSE(FFLoader->Load(LibAVFilter));
    const std::string msg = FFLoader->LastErrMsg();
    EXPECT_EQ(msg.rfind("Load library libnosuchlibrary.so.3 error: ", 0), 0u) << msg;
    EXPECT_NE(msg.find("libnosuchlibrary.so.3: cannot open shared object file"), std::string::npos)
        << msg;
}

TEST_F(Loader, MissingRequiredNameFreesModuleAndFailsTheSet) {
    FFLoader->SetLibraryPath(FixtureDir("fake"));
    EXPECT_FALSE(FFLoader->Load(LibSwScale));
    const std::string msg = FFLoader->LastErrMsg();
    const std::string file = FFLoader->LibraryFileName(LibSwScale);
    // Binding stops at the first name of the library's list.
    std::string first;
#define FIRST_NAME(name)                                                                           \
    if (first.empty())                                                                             \
        first = #name;
    SWSCALE_FUNCTIONS(FIRST_NAME, FIRST_NAME)
#undef FIRST_NAME
    EXPECT_EQ(msg.rfind("Load function " + first + "@" + file + " error: ", 0), 0u) << msg;
    EXPECT_NE(msg.find("undefined symbol: " + first), std::string::npos) << msg;
    EXPECT_EQ(FFLoader->Status(LibSwScale).Handle, nullptr);
    EXPECT_FALSE(FFLoader->Status(LibSwScale).Bound);

    // avcodec is not in that folder, so it loads from the system; then the set fails at
    // swscale and every member is unloaded again.
    EXPECT_FALSE(FFLoader->Load(TAVLibraries{LibAVCodec, LibSwScale}));
    EXPECT_FALSE(FFLoader->Loaded(LibAVCodec));
    EXPECT_EQ(FFLoader->Status(LibAVCodec).Handle, nullptr);
    EXPECT_EQ(ff::avcodec_version, nullptr);
}

TEST_F(Loader, BindFunctionAndVariable) {
    const std::string path = FixtureDir("fake") + "/" + FFLoader->LibraryFileName(LibSwScale);
    std::string error;
    void* h = LoadLibraryFromDir(FixtureDir("fake"), FFLoader->LibraryFileName(LibSwScale), error);
    ASSERT_NE(h, nullptr) << error;

    void* p = reinterpret_cast<void*>(1);
    BindFunction("libfake.so", h, "no_such_function", &p, true);
    EXPECT_EQ(p, nullptr);
    BindFunction("libfake.so", h, "fixture_unrelated_symbol", &p, false);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<int (*)()>(p)(), 42);
    BindVariable("libfake.so", h, "fixture_data_symbol", &p, false);
    EXPECT_EQ(*static_cast<int*>(p), 7);

    try {
        BindFunction("libfake.so", h, "no_such_function", &p, false);
        ADD_FAILURE() << "no exception";
    } catch (const ELoadError& e) {
        EXPECT_EQ(
            std::string(e.what()).rfind("Load function no_such_function@libfake.so error: ", 0), 0u)
            << e.what();
    }
    try {
        BindVariable("libfake.so", h, "no_such_variable", &p, false);
        ADD_FAILURE() << "no exception";
    } catch (const ELoadError& e) {
        EXPECT_EQ(
            std::string(e.what()).rfind("Load variable no_such_variable@libfake.so error: ", 0), 0u)
            << e.what();
    }
    FreeLibraryModule(h);
}

TEST_F(Loader, DependenciesResolveFromTheLibraryFolder) {
    const std::string dir = FixtureDir("deps");
    const auto needed = NeededLibraries(dir + "/libfixturedepa.so");
    ASSERT_EQ(needed.size() >= 1, true);
    EXPECT_NE(std::find(needed.begin(), needed.end(), "libfixturedepb.so"), needed.end());

    // Without the folder's help the dynamic linker cannot find the dependency.
    EXPECT_EQ(dlopen((dir + "/libfixturedepa.so").c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
    void* plain = dlopen((dir + "/libfixturedepa.so").c_str(), RTLD_NOW);
    if (plain)
        dlclose(plain);
    ASSERT_EQ(plain, nullptr) << "fixture is found without the folder";

    std::string error;
    void* h = LoadLibraryFromDir(dir, "libfixturedepa.so", error);
    ASSERT_NE(h, nullptr) << error;
    auto fn = reinterpret_cast<int (*)()>(dlsym(h, "fixture_dependant_value"));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), 1235);
    FreeLibraryModule(h);
}

TEST(NeededLibraries, NotAnElfFile) {
    EXPECT_TRUE(NeededLibraries("/etc/hostname").empty());
    EXPECT_TRUE(NeededLibraries("/no/such/file").empty());
}

} // namespace
