// What the progress tests share: a task that opens its records, hand-made stream records
// on real output containers, and the captured reports.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "EngineTestEnv.h"
#include "MediaFixture.h"
#include "files/MediaOpen.h"

namespace progresstest {

class TProgressTask : public TTestTask {
public:
    explicit TProgressTask(int capacity = 2) : TTestTask(capacity) {}
    using TCustomFFmpeg::AudioSize;
    using TCustomFFmpeg::DropFrames;
    using TCustomFFmpeg::DupDropChanged;
    using TCustomFFmpeg::DupFrames;
    using TCustomFFmpeg::ExtraSize;
    using TCustomFFmpeg::OutputFiles;
    using TCustomFFmpeg::OutputStreams;
    using TCustomFFmpeg::RunStartTime;
    using TCustomFFmpeg::VideoSize;
    using TCustomFFmpeg::VstatsFile;
};

// One OnProgress call.
struct TReport {
    int File;
    int64_t Total;
    int64_t Current;
    int64_t Size;
    float BitRate;
    float Quality;
    int FPS;
    int Frame;
};

class EngineProgressTest : public TEngineTest {
protected:
    void SetUp() override {
        TEngineTest::SetUp();
        dir_ = testmedia::TempDir("progress");
        // A run clock still within its first second (whatever the test machine's pace), so
        // the rate is 0; tests of the rate set their own start.
        task_.RunStartTime = ff::av_gettime() + 3600 * int64_t(1000000);
    }

    std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }

    // A file name of this test alone (test processes may run in parallel).
    std::string TestFileName(const std::string& extension) const {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        return name + extension;
    }

    // A new output slot on a real container (format from the extension), its file open.
    AVFormatContext* AddOutput(const std::string& extension) {
        AVFormatContext* oc = nullptr;
        const std::string path = PathOf(TestFileName(extension));
        outputPath_ = path;
        EXPECT_GE(ff::avformat_alloc_output_context2(&oc, nullptr, nullptr, path.c_str()), 0);
        if (oc == nullptr)
            return nullptr;
        EXPECT_EQ(OpenOutputIO(&oc->pb, path, AVIO_FLAG_WRITE), 0);
        task_.AppendOutputFile(std::make_shared<TOutputContainer>(oc));
        return oc;
    }

    // Another slot on the same container (join mode).
    void ShareLastOutput() { task_.AppendOutputFile(task_.OutputFiles.back()); }

    // A stream record of `slot`, encoded and active, on a new muxer stream (or on `shared`).
    EngineOutputStream& AddStream(int slot, AVMediaType kind, AVRational timeBase = {1, 1000},
                                  AVStream* shared = nullptr) {
        AVFormatContext* oc = task_.OutputFiles[slot]->Context();
        AVStream* st = shared != nullptr ? shared : ff::avformat_new_stream(oc, nullptr);
        st->time_base = timeBase;
        st->codecpar->codec_type = kind;
        auto ost = std::make_unique<EngineOutputStream>();
        ost->fileIndex = slot;
        ost->streamIndex = st->index;
        ost->stream = st;
        ost->encoder.reset(ff::avcodec_alloc_context3(nullptr));
        ost->encoder->codec_type = kind;
        ost->encodingNeeded = 1;
        ost->active = 1;
        task_.OutputStreams[slot].push_back(std::move(ost));
        return *task_.OutputStreams[slot].back();
    }

    // Writes `bytes` bytes to the first output and flushes them to the file.
    void WriteBytes(size_t bytes) {
        AVIOContext* pb = task_.OutputFiles[0]->Context()->pb;
        const std::vector<unsigned char> data(bytes, 0x55);
        ff::avio_write(pb, data.data(), static_cast<int>(data.size()));
        ff::avio_flush(pb);
    }

    void CollectReports() {
        task_.OnProgress = [this](TCustomFFmpeg* sender, int file, int64_t total, int64_t current,
                                  int64_t size, float bitRate, float quality, int fps, int frame) {
            EXPECT_EQ(sender, &task_);
            reports_.push_back(TReport{file, total, current, size, bitRate, quality, fps, frame});
        };
    }

    // The report lines and statistics lines the task logged.
    std::vector<std::string> Logged(const TLogCapture& log) const {
        std::vector<std::string> texts;
        for (const TLogCapture::TEntry& e : log.Entries())
            if (e.Sender == &task_ &&
                (e.Msg.find("bitrate=") != std::string::npos || e.Msg.rfind("video:", 0) == 0)) {
                EXPECT_EQ(e.Level, llVerbose) << e.Msg;
                texts.push_back(e.Msg);
            }
        return texts;
    }

    std::string dir_;
    std::string outputPath_; // of the last AddOutput
    TProgressTask task_;
    std::vector<TReport> reports_;
};

} // namespace progresstest
