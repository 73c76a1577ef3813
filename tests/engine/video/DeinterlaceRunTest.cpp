// "deinterlace" in real runs: every picture of the output is its source picture deinterlaced
// on its own (the first and the last included), and a source whose picture size changes
// mid-stream is deinterlaced on both sides of the change.
#include <fstream>
#include <iterator>

#include "../../common/ReferenceDeinterlace.h"
#include "VideoRunEnv.h"

using namespace videotest;

namespace {

// The pictures of v:0 as decoded by the ffmpeg program, yuv420p, one byte block each.
std::vector<std::string> RawPictures(const std::string& path, int width, int height) {
    const std::string raw = path + ".yuv";
    const std::string cmd = "ffmpeg -nostdin -v error -y -i " + testmedia::Quote(path) +
                            " -map 0:v:0 -f rawvideo -pix_fmt yuv420p " + testmedia::Quote(raw);
    if (std::system(cmd.c_str()) != 0)
        return {};
    std::ifstream f(raw, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(f)), {});
    const size_t size = static_cast<size_t>(width) * height * 3 / 2;
    std::vector<std::string> pictures;
    for (size_t at = 0; at + size <= bytes.size(); at += size)
        pictures.push_back(bytes.substr(at, size));
    return pictures;
}

// "interlaced_frame,top_field_first" of every decoded picture of v:0.
std::vector<std::string> FieldFlags(const std::string& path) {
    return ProbeLines(path, "-select_streams v:0 -show_entries "
                            "frame=interlaced_frame,top_field_first -of csv=p=0");
}

// One second of interlaced 160x120 pictures, then one of 80x60, in one transport stream.
std::string InterlacedSizeChange() {
    return JoinedTransportStream(
        "interlaced-size-change.ts",
        "-f lavfi -i testsrc=size=160x120:rate=50:duration=1 -vf interlace -c:v mpeg4 "
        "-flags +ildct+ilme -q:v 4",
        "-f lavfi -i testsrc=size=80x60:rate=50:duration=1 -vf interlace -c:v mpeg4 "
        "-flags +ildct+ilme -q:v 4 -output_ts_offset 1");
}

class DeinterlaceRun : public VideoRun {};

// A lossless output: its pictures are compared byte for byte with each source picture
// deinterlaced by a graph of its own.
TEST_F(DeinterlaceRun, EveryPictureIsItsSourcePictureDeinterlacedOnItsOwn) {
    const std::string source = Interlaced25();
    ASSERT_FALSE(source.empty());
    TTestTask task;
    const std::string out = OutPath("deinterlaced-ffv1.mkv");
    Prepare(task, source, out, "ffv1", "deinterlace=1");
    TLogCapture log;
    ASSERT_EQ(RunTask(task), "");
    EXPECT_TRUE(log.Matching("Deinterlacing failed.").empty());

    const std::vector<std::string> sourcePictures = RawPictures(source, 160, 120);
    const std::vector<std::string> flags = FieldFlags(source);
    const std::vector<std::string> outPictures = RawPictures(out, 160, 120);
    ASSERT_GT(sourcePictures.size(), 2u);
    ASSERT_EQ(flags.size(), sourcePictures.size());
    ASSERT_EQ(outPictures.size(), sourcePictures.size());
    for (size_t i = 0; i < sourcePictures.size(); ++i) {
        SCOPED_TRACE("picture " + std::to_string(i));
        const testmedia::TTestFrame picture =
            testmedia::PictureFromBytes(reinterpret_cast<const uint8_t*>(sourcePictures[i].data()),
                                        160, 120, AV_PIX_FMT_YUV420P);
        ASSERT_TRUE(picture);
        picture->interlaced_frame = flags[i][0] == '1';
        picture->top_field_first = flags[i].size() > 2 && flags[i][2] == '1';
        const testmedia::TTestFrame expected = testmedia::ReferenceDeinterlaced(picture.get());
        ASSERT_TRUE(expected);
        const std::vector<uint8_t> want = testmedia::PictureBytes(expected.get());
        EXPECT_TRUE(std::string(want.begin(), want.end()) == outPictures[i]);
        EXPECT_FALSE(sourcePictures[i] == outPictures[i]);
    }
}

// The pictures after the change are deinterlaced as well: the deinterlacer builds its graph
// anew for the new size instead of failing.
TEST_F(DeinterlaceRun, ASizeChangeMidStreamIsDeinterlacedOnBothSides) {
    const std::string source = InterlacedSizeChange();
    ASSERT_FALSE(source.empty());
    TTestTask task;
    const std::string out = OutPath("deinterlaced-size-change.mkv");
    Prepare(task, source, out, "mpeg4", "qscale=2\ndeinterlace=1");
    TLogCapture log;
    ASSERT_EQ(RunTask(task), "");
    EXPECT_EQ(log.Matching("frame size changed to").size(), 1u);
    EXPECT_TRUE(log.Matching("Deinterlacing failed.").empty());
    EXPECT_TRUE(log.Matching("hook buf malloc error.").empty());
    EXPECT_EQ(Packets(out, "v:0"), Packets(source, "v:0"));
}

} // namespace
