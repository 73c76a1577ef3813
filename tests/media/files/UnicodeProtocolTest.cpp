#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale.h>
#include <string>
#include <vector>

#include "FFLoad.h"
#include "binding/AVFormatStubs.h"
#include "files/MediaOpen.h"
#include "files/UnicodeProtocol.h"
#include "log/FFLog.h"

namespace fs = std::filesystem;

namespace {

// Switches the calling thread to a locale for one scope.
class TLocaleScope {
public:
    explicit TLocaleScope(const char* name) : loc_(newlocale(LC_ALL_MASK, name, nullptr)) {
        if (loc_ != nullptr)
            old_ = uselocale(loc_);
    }
    ~TLocaleScope() {
        if (loc_ != nullptr) {
            uselocale(old_);
            freelocale(loc_);
        }
    }
    TLocaleScope(const TLocaleScope&) = delete;
    TLocaleScope& operator=(const TLocaleScope&) = delete;
    bool Ok() const { return loc_ != nullptr; }

private:
    locale_t loc_;
    locale_t old_ = nullptr;
};

const std::string Marker = UnicodeURLMarker;

fs::path TempDir() {
    return fs::path(AUDIOCONV_TEST_TMP_DIR) / "unicode-protocol";
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << data;
}

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + 3) % 251);
    return s;
}

} // namespace

// ---- names

struct TNameCase {
    const char* Name;
    bool Marked; // under the C locale (ASCII)
};

TEST(UnicodeNames, CLocaleMarksNamesOutsideASCII) {
    TLocaleScope c("C");
    ASSERT_TRUE(c.Ok());
    const TNameCase cases[] = {
        {"/tmp/plain name.wav", false},
        {"/tmp/caf\u00e9.wav", true},
        {"rel/\u00fcber.mp3", true},
        {"C:/caf\u00e9.wav", true},       // a drive letter is no protocol
        {"http://host/caf\u00e9", false}, // network URL
        {"udp://caf\u00e9:1234", false},  // network URL
        {"HTTP://host/caf\u00e9", true},  // prefixes match in exact case only
        {"", false},
    };
    for (const TNameCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string name = c.Name;
        EXPECT_EQ(NeedsUnicodeProtocol(name), c.Marked);
        const std::string url = FileNameToURL(name);
        EXPECT_EQ(url, c.Marked ? Marker + name : name);
        EXPECT_EQ(IsUnicodeURL(url), c.Marked);
        EXPECT_EQ(URLToFileName(url), name);
    }
    // A marked name is not marked again.
    const std::string marked = Marker + "/caf\u00e9.wav";
    EXPECT_FALSE(NeedsUnicodeProtocol(marked));
    EXPECT_EQ(FileNameToURL(marked), marked);
}

TEST(UnicodeNames, UTF8LocalePassesEveryNameUnchanged) {
    TLocaleScope utf8("C.UTF-8");
    ASSERT_TRUE(utf8.Ok());
    for (const char* n : {"/tmp/caf\u00e9.wav", "/m\u00fcsik/\u6f22\u5b57 \U0001F3B5.flac",
                          "plain.wav", "/C:/caf\u00e9.wav"}) {
        SCOPED_TRACE(n);
        EXPECT_FALSE(NeedsUnicodeProtocol(n));
        EXPECT_EQ(FileNameToURL(n), n);
        EXPECT_EQ(URLToFileName(n), n);
    }
}

// A local name that reads like a protocol is given to the libraries with "./" before it; only
// "scheme://" with a network protocol, an explicit "file:" name and a marked one go as they are.
TEST(UnicodeNames, NamesThatReadLikeProtocolsAreLocalFiles) {
    TLocaleScope utf8("C.UTF-8");
    ASSERT_TRUE(utf8.Ok());
    const struct {
        const char* Name;
        const char* URL;
    } cases[] = {
        {"http:x.wav", "./http:x.wav"},
        {"pipe:0.wav", "./pipe:0.wav"},
        {"Live:2020.wav", "./Live:2020.wav"},
        {".Live:2020.1-2.audioconv-part.mp3", "./.Live:2020.1-2.audioconv-part.mp3"},
        {"concat,x:a.wav", "./concat,x:a.wav"},
        {"C:/caf\u00e9.wav", "./C:/caf\u00e9.wav"},
        {"dir/http:x.wav", "dir/http:x.wav"},
        {"/abs/pipe:0.wav", "/abs/pipe:0.wav"},
        {"http://127.0.0.1:9/a.mp3", "http://127.0.0.1:9/a.mp3"},
        {"tcp://127.0.0.1:9", "tcp://127.0.0.1:9"},
        {"pipe://0", "./pipe://0"},
        {"HTTP://host/a.mp3", "./HTTP://host/a.mp3"},
        {"file:a.wav", "file:a.wav"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(FileNameToURL(c.Name), c.URL);
        EXPECT_EQ(URLToFileName(FileNameToURL(c.Name)), c.Name);
        EXPECT_EQ(IsNetworkURL(c.Name), std::string(c.URL).rfind("./", 0) != 0 &&
                                            std::string(c.URL).find("://") != std::string::npos);
    }
    EXPECT_EQ(LocalFileName("http://host/a.mp3"), "./http://host/a.mp3");
    EXPECT_EQ(LocalFileName("song.mp3"), "song.mp3");
}

TEST(UnicodeNames, IsUnicodeURLNeedsMarkerAndAName) {
    const struct {
        const char* Name;
        bool Marked;
    } cases[] = {
        {"unicode:utf8:", false},
        {"unicode:utf8:a", true},
        {"unicode:utf8", false},
        {"Unicode:utf8:abc", false},
        {" unicode:utf8:abc", false},
        {"unicode:utf16:abc", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsUnicodeURL(c.Name), c.Marked) << c.Name;
    EXPECT_EQ(URLToFileName("unicode:utf8:/a/caf\u00e9.wav"), "/a/caf\u00e9.wav");
}

// ---- protocol operations

class UnicodeProtocolOps : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(TempDir());
        // One file per test: ctest runs the tests of this suite side by side.
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        path_ = (TempDir() / ("op\u00e9rations-" + test + ".bin")).string();
        url_ = Marker + path_;
        data_ = Pattern(100);
        WriteFile(path_, data_);
    }
    std::string path_, url_, data_;
};

TEST_F(UnicodeProtocolOps, SizeQueryLeavesThePosition) {
    TUnicodeConnection h;
    ASSERT_EQ(UnicodeOpen(h, url_, AVIO_FLAG_READ), 0);
    EXPECT_EQ(UnicodeSeek(h, 37, SEEK_SET), 37);
    EXPECT_EQ(UnicodeSeek(h, 0, AVSEEK_SIZE), 100);
    EXPECT_EQ(UnicodeSeek(h, 0, SEEK_CUR), 37);
    unsigned char b = 0;
    ASSERT_EQ(UnicodeRead(h, &b, 1), 1);
    EXPECT_EQ(b, static_cast<unsigned char>(data_[37]));
    EXPECT_EQ(UnicodeSeek(h, -10, SEEK_END), 90);
    EXPECT_EQ(UnicodeSeek(h, 5, SEEK_CUR), 95);
    EXPECT_EQ(UnicodeClose(h), 0);
}

TEST_F(UnicodeProtocolOps, OpenModes) {
    const struct {
        int Flags;
        int64_t SizeAfterOpen;
        bool CanRead, CanWrite;
    } cases[] = {
        {AVIO_FLAG_READ, 100, true, false},
        {AVIO_FLAG_WRITE, 0, false, true},
        {AVIO_FLAG_READ_WRITE, 0, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Flags);
        WriteFile(path_, data_);
        TUnicodeConnection h;
        ASSERT_EQ(UnicodeOpen(h, url_, c.Flags), 0);
        EXPECT_EQ(UnicodeSeek(h, 0, AVSEEK_SIZE), c.SizeAfterOpen);
        const unsigned char out[3] = {'a', 'b', 'c'};
        EXPECT_EQ(UnicodeWrite(h, out, 3), c.CanWrite ? 3 : -1);
        ASSERT_EQ(UnicodeSeek(h, 0, SEEK_SET), 0);
        unsigned char in[3] = {};
        const int n = UnicodeRead(h, in, 3);
        if (c.CanRead) {
            ASSERT_EQ(n, 3);
            EXPECT_EQ(in[0], c.CanWrite ? 'a' : static_cast<unsigned char>(data_[0]));
        } else {
            EXPECT_EQ(n, -1);
        }
    }
}

TEST_F(UnicodeProtocolOps, FailuresAreReported) {
    TUnicodeConnection h;
    // Every failed open gives -2, whatever the system's reason: a missing file, a folder, a
    // name below a plain file (the system says "not a directory"), for reading or writing.
    const std::string plain = (TempDir() / "pl\u00e4in.bin").string();
    WriteFile(plain, "x");
    const struct {
        std::string Name;
        int Flags;
    } cases[] = {
        {(TempDir() / "miss\u00efng.bin").string(), AVIO_FLAG_READ},
        {TempDir().string(), AVIO_FLAG_READ},
        {plain + "/below.bin", AVIO_FLAG_READ},
        {plain + "/below.bin", AVIO_FLAG_WRITE},
        {(TempDir() / "n\u00f6" / "out.bin").string(), AVIO_FLAG_READ_WRITE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnicodeOpen(h, Marker + c.Name, c.Flags), -2) << c.Name << " " << c.Flags;
        EXPECT_EQ(h.Handle, -1);
    }
    unsigned char b;
    EXPECT_EQ(UnicodeRead(h, &b, 1), -1);
    EXPECT_EQ(UnicodeWrite(h, &b, 1), -1);
    EXPECT_EQ(UnicodeSeek(h, 0, AVSEEK_SIZE), -1);
    EXPECT_EQ(UnicodeClose(h), 0);

    ASSERT_EQ(UnicodeOpen(h, url_, AVIO_FLAG_READ), 0);
    EXPECT_EQ(UnicodeSeek(h, -1, SEEK_SET), -1);
    EXPECT_EQ(UnicodeSeek(h, 0, 7), -1);
    EXPECT_EQ(UnicodeSeek(h, 0, SEEK_CUR), 0); // a failed seek does not move
}

// ---- opening through the libraries

class MediaOpenTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fs::create_directories(TempDir());
        // Files of this process only: ctest runs the tests of this suite side by side.
        const std::string pid = std::to_string(getpid());
        plainWav_ = (TempDir() / ("sine-" + pid + ".wav")).string();
        const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "
                                "sine=frequency=1000:duration=1 -ar 22050 -ac 1 \"" +
                                plainWav_ + "\"";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        accentWav_ = (TempDir() / ("t\u00f3n\u00e9 \u00e9-" + pid + ".wav")).string();
        fs::copy_file(plainWav_, accentWav_, fs::copy_options::overwrite_existing);
    }
    void SetUp() override {
        FFLoader->SetLibraryPath(AUDIOCONV_LIB_DIR);
        ASSERT_TRUE(FFLoader->Load(EncoderLibraries));
    }
    static std::string plainWav_, accentWav_;
};
std::string MediaOpenTest::plainWav_, MediaOpenTest::accentWav_;

TEST_F(MediaOpenTest, MarkedInputReadsTheSameFile) {
    std::string url;
    {
        TLocaleScope c("C");
        ASSERT_TRUE(c.Ok());
        url = FileNameToURL(accentWav_);
    }
    ASSERT_TRUE(IsUnicodeURL(url));

    AVFormatContext* raw = nullptr;
    ASSERT_EQ(OpenInputContext(&raw, plainWav_, nullptr, nullptr), 0);
    TInputContextPtr plain(raw);
    raw = nullptr;
    ASSERT_EQ(OpenInputContext(&raw, url, nullptr, nullptr), 0);
    TInputContextPtr marked(raw);
    ASSERT_GE(ff::avformat_find_stream_info(plain.get(), nullptr), 0);
    ASSERT_GE(ff::avformat_find_stream_info(marked.get(), nullptr), 0);

    EXPECT_FALSE(IsUnicodeIO(plain->pb));
    EXPECT_TRUE(IsUnicodeIO(marked->pb));
    EXPECT_GE(marked->pb->buffer_size, 64 * 1024);
    EXPECT_EQ(marked->interrupt_callback.callback, &InterruptCallback);
    EXPECT_EQ(plain->interrupt_callback.callback, &InterruptCallback);
    EXPECT_EQ(URLToFileName(marked->url), accentWav_);
    EXPECT_STREQ(marked->iformat->name, plain->iformat->name);
    ASSERT_EQ(marked->nb_streams, 1u);
    ASSERT_EQ(plain->nb_streams, 1u);
    const AVCodecParameters* p = plain->streams[0]->codecpar;
    const AVCodecParameters* m = marked->streams[0]->codecpar;
    EXPECT_EQ(m->sample_rate, p->sample_rate);
    EXPECT_EQ(m->ch_layout.nb_channels, p->ch_layout.nb_channels);
    EXPECT_EQ(m->codec_id, p->codec_id);
    EXPECT_EQ(marked->duration, plain->duration);
    EXPECT_GT(plain->duration, 0);

    // The raw bytes through the custom I/O context, with a size query in between.
    const std::string file = ReadFile(accentWav_);
    AVIOContext* pb = marked->pb;
    ASSERT_EQ(ff::avio_seek(pb, 10, SEEK_SET), 10);
    EXPECT_EQ(ff::avio_size(pb), static_cast<int64_t>(file.size()));
    unsigned char four[4];
    ASSERT_EQ(ff::avio_read(pb, four, 4), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(four), 4), file.substr(10, 4));
    ASSERT_EQ(ff::avio_seek(pb, 0, SEEK_SET), 0);
    std::string all(file.size() + 16, '\0');
    const int n = ff::avio_read(pb, reinterpret_cast<unsigned char*>(all.data()),
                                static_cast<int>(all.size()));
    ASSERT_EQ(n, static_cast<int>(file.size()));
    all.resize(static_cast<size_t>(n));
    EXPECT_TRUE(all == file);
}

// A name with a scheme is the libraries' URL: their own protocol opens it.
TEST_F(MediaOpenTest, URLsWithASchemeGoToTheLibraries) {
    AVFormatContext* raw = nullptr;
    ASSERT_EQ(OpenInputContext(&raw, "file:" + plainWav_, nullptr, nullptr), 0);
    TInputContextPtr input(raw);
    EXPECT_FALSE(IsUnicodeIO(input->pb));
    AVIOContext* pb = nullptr;
    ASSERT_EQ(OpenOutputIO(&pb, "file:" + (TempDir() / "scheme.bin").string(), AVIO_FLAG_WRITE), 0);
    EXPECT_FALSE(IsUnicodeIO(pb));
    EXPECT_EQ(CloseOutputIO(&pb), 0);
}

TEST_F(MediaOpenTest, MissingMarkedInputFailsAndFreesTheContext) {
    const std::string url = Marker + (TempDir() / "n\u00f6ne.wav").string();
    AVFormatContext* ctx = nullptr;
    EXPECT_EQ(OpenInputContext(&ctx, url, nullptr, nullptr), AVERROR(ENOENT));
    EXPECT_EQ(ctx, nullptr);
    ctx = ff::avformat_alloc_context(); // a caller's context is freed too
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(OpenInputContext(&ctx, url, nullptr, nullptr), AVERROR(ENOENT));
    EXPECT_EQ(ctx, nullptr);
}

TEST_F(MediaOpenTest, MarkedInputThatIsNoMediaFails) {
    const fs::path junk = TempDir() / "j\u00fcnk.wav";
    WriteFile(junk, std::string(64, '\0'));
    AVFormatContext* ctx = nullptr;
    EXPECT_LT(OpenInputContext(&ctx, Marker + junk.string(), nullptr, nullptr), 0);
    EXPECT_EQ(ctx, nullptr);
}

// A source may be a playlist (whatever its name): what it refers to may come from local
// files, never over a network protocol. The refused entry points at the loopback address, so
// that even a converter without the limit reaches no network.
TEST_F(MediaOpenTest, WhatASourceRefersToComesFromLocalFilesOnly) {
    const std::string pid = std::to_string(getpid());
    const fs::path segment = TempDir() / ("segment-" + pid + ".ts");
    const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y -i \"" + plainWav_ +
                            "\" -c:a mp2 -f mpegts \"" + segment.string() + "\"";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::string head = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n";
    const struct {
        const char* Name;
        std::string Entry;
        bool Opens;
    } cases[] = {
        {"local", segment.filename().string(), true},
        {"network", "http://127.0.0.1:9/segment.ts", false},
    };
    std::vector<std::string> lines;
    FFLogger()->SetOnLog(
        [&](void*, uint32_t, TLogLevel, const std::string& msg) { lines.push_back(msg); });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        lines.clear();
        const fs::path list = TempDir() / (std::string(c.Name) + "-list-" + pid + ".mp3");
        WriteFile(list, head + c.Entry + "\n#EXT-X-ENDLIST\n");
        AVFormatContext* raw = nullptr;
        const int ret = OpenInputContext(&raw, list.string(), nullptr, nullptr);
        TInputContextPtr ctx(raw);
        EXPECT_EQ(ret >= 0, c.Opens) << ret;
        bool refused = false;
        for (const std::string& line : lines)
            refused = refused || line.find("not on whitelist 'file'") != std::string::npos;
        EXPECT_EQ(refused, !c.Opens);
        if (ctx) {
            EXPECT_STREQ(ctx->protocol_whitelist, "file");
            EXPECT_GE(ff::avformat_find_stream_info(ctx.get(), nullptr), 0);
            EXPECT_EQ(ctx->nb_streams, 1u);
        }
    }
    FFLogger()->SetOnLog(nullptr);
}

TEST_F(MediaOpenTest, OutputTruncatesWritesAndSeeks) {
    const fs::path target = TempDir() / "wr\u00eft\u00e9.bin";
    for (const std::string& name : {Marker + target.string(), target.string()}) {
        SCOPED_TRACE(name);
        WriteFile(target, std::string(200000, 'x'));
        const std::string data = Pattern(100000); // more than one I/O buffer
        AVIOContext* raw = nullptr;
        ASSERT_EQ(OpenOutputIO(&raw, name, AVIO_FLAG_WRITE), 0);
        TOutputIOPtr pb(raw);
        EXPECT_EQ(IsUnicodeIO(pb.get()), IsUnicodeURL(name));
        if (IsUnicodeIO(pb.get())) {
            EXPECT_GE(pb->buffer_size, 64 * 1024);
            // Flush points (a muxer's after every packet) wait for a full buffer.
            EXPECT_EQ(pb->min_packet_size, pb->buffer_size);
        }
        ff::avio_write(pb.get(), reinterpret_cast<const unsigned char*>(data.data()),
                       static_cast<int>(data.size()));
        ASSERT_EQ(ff::avio_seek(pb.get(), 2, SEEK_SET), 2); // as a muxer rewrites its header
        ff::avio_write(pb.get(), reinterpret_cast<const unsigned char*>("AB"), 2);
        raw = pb.release();
        EXPECT_EQ(CloseOutputIO(&raw), 0);
        EXPECT_EQ(raw, nullptr);
        std::string expected = data;
        expected.replace(2, 2, "AB");
        const std::string got = ReadFile(target);
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected);
    }
}

TEST_F(MediaOpenTest, OutputInMissingFolderFails) {
    AVIOContext* pb = nullptr;
    const std::string url = Marker + (TempDir() / "n\u00f6" / "out.wav").string();
    EXPECT_EQ(OpenOutputIO(&pb, url, AVIO_FLAG_WRITE), AVERROR(ENOENT));
    EXPECT_EQ(pb, nullptr);
    EXPECT_EQ(CloseOutputIO(&pb), 0);
}
