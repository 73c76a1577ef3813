// Write packet: the bitstream filter chain with its failure messages, the muxer call and the
// stream's output time. Packets go to a "framecrc" muxer, whose file lists every packet.
#include <fstream>
#include <sstream>

#include "EngineTestEnv.h"
#include "MediaFixture.h"
#include "audio/Audio.h"

namespace {

struct TWritten {
    int64_t pts, duration, size;
};

std::vector<TWritten> ReadPackets(const std::string& path) {
    std::ifstream in(path);
    std::vector<TWritten> packets;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        int64_t stream, dts;
        TWritten p{};
        char comma;
        fields >> stream >> comma >> dts >> comma >> p.pts >> comma >> p.duration >> comma >>
            p.size;
        packets.push_back(p);
    }
    return packets;
}

class EngineAudioPacketWrite : public TEngineTest {
protected:
    TTestTask task;
    EngineOutputStream ost;
    TFormatContextPtr muxer;
    std::string path;
    TPacketPtr pkt;

    void TearDown() override {
        if (muxer && muxer->pb)
            ff::avio_closep(&muxer->pb);
    }

    // A copied stream of `codec` in a framecrc muxer with its header written, and the
    // bitstream filters named in `filters`.
    void Prepare(const std::string& name, AVCodecID codec, std::vector<const char*> filters) {
        path = testmedia::TempDir("EngineAudioPacketWrite") + "/" + name;
        AVFormatContext* raw = nullptr;
        ASSERT_GE(ff::avformat_alloc_output_context2(&raw, nullptr, "framecrc", path.c_str()), 0);
        muxer.reset(raw);
        ost.stream = ff::avformat_new_stream(raw, nullptr);
        AVCodecParameters* par = ost.stream->codecpar;
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = codec;
        par->sample_rate = 44100;
        ff::av_channel_layout_default(&par->ch_layout, 2);
        ost.stream->time_base = AVRational{1, 44100};
        for (const char* f : filters) {
            AVBSFContext* bsf = nullptr;
            ASSERT_GE(ff::av_bsf_alloc(ff::av_bsf_get_by_name(f), &bsf), 0) << f;
            ost.bitstreamFilters.emplace_back(bsf);
        }
        ASSERT_GE(ff::avio_open2(&raw->pb, path.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr), 0);
        ASSERT_GE(ff::avformat_write_header(raw, nullptr), 0);
        pkt.reset(ff::av_packet_alloc());
    }

    void Write(int64_t pts, int64_t duration, int size, int streamIndex = 0) {
        ASSERT_GE(ff::av_new_packet(pkt.get(), size), 0);
        for (int i = 0; i < size; ++i)
            pkt->data[i] = static_cast<uint8_t>(i);
        pkt->pts = pkt->dts = pts;
        pkt->duration = duration;
        pkt->stream_index = streamIndex;
        task.WritePacket(muxer.get(), pkt.get(), ost);
    }

    std::vector<TWritten> Finish() {
        ff::av_write_trailer(muxer.get());
        ff::avio_closep(&muxer->pb);
        return ReadPackets(path);
    }
};

TEST_F(EngineAudioPacketWrite, PacketsReachTheMuxerAndSetTheOutputTime) {
    Prepare("plain.crc", AV_CODEC_ID_PCM_S16LE, {"null"});
    EXPECT_EQ(ost.lastEndTime, AV_NOPTS_VALUE);
    Write(0, 1000, 400);
    EXPECT_EQ(ost.lastEndTime, 1000);
    Write(1000, 1152, 300);
    EXPECT_EQ(ost.lastEndTime, 2152);
    EXPECT_EQ(pkt->data, nullptr); // the packet went to the muxer
    const std::vector<TWritten> written = Finish();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[1].pts, 1000);
    EXPECT_EQ(written[1].duration, 1152);
    EXPECT_EQ(written[1].size, 300);
}

// A filter that fails lets the packet it was given pass; with "xerror" the failure is raised.
TEST_F(EngineAudioPacketWrite, FailingFilterIsReported) {
    for (const bool exitOnError : {false, true}) {
        SCOPED_TRACE(exitOnError);
        ost = EngineOutputStream();
        if (muxer && muxer->pb)
            ff::avio_closep(&muxer->pb);
        // No ADTS header in the payload: the filter refuses the packet.
        Prepare(exitOnError ? "fail-raise.crc" : "fail-log.crc", AV_CODEC_ID_AAC,
                {"aac_adtstoasc"});
        task.ExitOnError = exitOnError;
        TLogCapture log;
        const std::optional<std::string> raised = RaisedMessage([&] { Write(0, 1024, 100); });
        const std::string prefix = "aac_adtstoasc failed for stream 0, codec copy: ";
        const std::vector<TWritten> written = Finish();
        if (exitOnError) {
            ASSERT_TRUE(raised.has_value());
            EXPECT_EQ(raised->rfind(prefix, 0), 0u) << *raised;
            EXPECT_TRUE(written.empty());
        } else {
            EXPECT_FALSE(raised.has_value());
            const std::vector<TLogCapture::TEntry> lines = log.Matching("aac_adtstoasc failed");
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0].Msg.rfind(prefix, 0), 0u) << lines[0].Msg;
            EXPECT_GT(lines[0].Msg.size(), prefix.size()); // the error text follows
            EXPECT_EQ(lines[0].Level, llError);
            ASSERT_EQ(written.size(), 1u);
            EXPECT_EQ(written[0].size, 100);
        }
    }
}

// A filter that cannot start on the stream is reported once and left out.
TEST_F(EngineAudioPacketWrite, FilterThatCannotStartIsLeftOut) {
    Prepare("unfit.crc", AV_CODEC_ID_PCM_S16LE, {"h264_mp4toannexb", "null"});
    TLogCapture log;
    Write(0, 100, 50);
    Write(100, 100, 60);
    EXPECT_EQ(log.Matching("h264_mp4toannexb failed for stream 0, codec copy: ").size(), 1u);
    EXPECT_EQ(ost.bitstreamFilters.size(), 1u);
    const std::vector<TWritten> written = Finish();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[1].size, 60);
}

TEST_F(EngineAudioPacketWrite, MuxerFailureIsRaised) {
    Prepare("bad-index.crc", AV_CODEC_ID_PCM_S16LE, {});
    const std::optional<std::string> raised = RaisedMessage([&] { Write(0, 100, 50, 3); });
    ASSERT_TRUE(raised.has_value());
    EXPECT_EQ(raised->rfind("av_interleaved_write_frame(): ", 0), 0u) << *raised;
    EXPECT_EQ(ost.lastEndTime, AV_NOPTS_VALUE);
}

} // namespace
