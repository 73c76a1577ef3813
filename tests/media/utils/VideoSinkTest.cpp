// The video sink: limited to one pixel format (the graph converts to it), refused without
// one, and the filtered pictures taken from it one by one.
#include <gtest/gtest.h>

#include <memory>

#include "FFLoad.h"
#include "binding/AVFilterStubs.h"
#include "binding/AVUtilStubs.h"
#include "utils/VideoSink.h"

namespace {

struct TGraphDeleter {
    void operator()(AVFilterGraph* g) const { ff::avfilter_graph_free(&g); }
};
struct TFrameDeleter {
    void operator()(AVFrame* f) const { ff::av_frame_free(&f); }
};

class MediaVideoSink : public ::testing::Test {
protected:
    void SetUp() override {
        FFLoader->SetLibraryPath(AUDIOCONV_LIB_DIR);
        ASSERT_TRUE(FFLoader->Load(EncoderLibraries)) << FFLoader->LastErrMsg();
        graph_.reset(ff::avfilter_graph_alloc());
        ASSERT_TRUE(graph_);
    }
    std::unique_ptr<AVFilterGraph, TGraphDeleter> graph_;
};

TEST_F(MediaVideoSink, WithoutAPixelFormatIsRefusedWithInvalidArgument) {
    AVFilterContext* sink = reinterpret_cast<AVFilterContext*>(1);
    EXPECT_EQ(CreateVideoSink(graph_.get(), "out", nullptr, &sink), -22);
    EXPECT_EQ(sink, nullptr);
}

TEST_F(MediaVideoSink, GivesPicturesInItsPixelFormatOneByOne) {
    AVFilterContext* source = nullptr;
    ASSERT_GE(ff::avfilter_graph_create_filter(
                  &source, ff::avfilter_get_by_name("buffer"), "src",
                  "video_size=32x16:pix_fmt=0:time_base=1/1000:pixel_aspect=1/1", nullptr,
                  graph_.get()),
              0);
    const AVPixelFormat gray = AV_PIX_FMT_GRAY8;
    AVFilterContext* sink = nullptr;
    ASSERT_EQ(CreateVideoSink(graph_.get(), "out", &gray, &sink), 0);
    ASSERT_GE(ff::avfilter_link(source, 0, sink, 0), 0);
    ASSERT_GE(ff::avfilter_graph_config(graph_.get(), nullptr), 0);

    std::unique_ptr<AVFrame, TFrameDeleter> in(ff::av_frame_alloc());
    std::unique_ptr<AVFrame, TFrameDeleter> out(ff::av_frame_alloc());
    AVRational timeBase{0, 1};
    EXPECT_EQ(GetFilteredVideoFrame(sink, out.get(), &timeBase), -2); // nothing pushed yet
    for (int64_t pts : {0, 40}) {
        in->width = 32;
        in->height = 16;
        in->format = AV_PIX_FMT_YUV420P;
        ASSERT_GE(ff::av_frame_get_buffer(in.get(), 0), 0);
        in->pts = pts;
        ASSERT_GE(ff::av_buffersrc_add_frame_flags(source, in.get(), 0), 0);
        ff::av_frame_unref(in.get());
    }
    for (int64_t pts : {0, 40}) {
        ASSERT_EQ(GetFilteredVideoFrame(sink, out.get(), &timeBase), 1);
        EXPECT_EQ(out->format, AV_PIX_FMT_GRAY8);
        EXPECT_EQ(out->width, 32);
        EXPECT_EQ(out->pts, pts);
        EXPECT_EQ(timeBase.num, 1);
        EXPECT_EQ(timeBase.den, 1000);
        ff::av_frame_unref(out.get());
    }
    EXPECT_EQ(GetFilteredVideoFrame(sink, out.get(), &timeBase), -2);
    ASSERT_GE(ff::av_buffersrc_add_frame_flags(source, nullptr, 0), 0);
    EXPECT_EQ(GetFilteredVideoFrame(sink, out.get(), &timeBase), AVERROR_EOF);
}

} // namespace
