// Turning codec names into codecs.
#include "EngineTestEnv.h"

namespace {

struct TLookupCase {
    const char* Title;
    std::optional<std::string> Name;
    AVMediaType Type;
    bool Encoder;
    int Strictness;
    bool Found;
    AVCodecID Id;        // when found
    const char* Message; // when not found
};

const TLookupCase LookupCases[] = {
    {"none_is_no_codec", std::nullopt, AVMEDIA_TYPE_AUDIO, true, 0, true, AV_CODEC_ID_NONE, ""},
    {"encoder", "flac", AVMEDIA_TYPE_AUDIO, true, 0, true, AV_CODEC_ID_FLAC, ""},
    {"unknown", "nosuchcodec", AVMEDIA_TYPE_AUDIO, true, 0, false, AV_CODEC_ID_NONE,
     "Unknown encoder 'nosuchcodec'"},
    {"decoder_only_name_as_encoder", "mp3", AVMEDIA_TYPE_AUDIO, true, 0, false, AV_CODEC_ID_NONE,
     "Unknown encoder 'mp3'"},
    {"decoder_only_name_as_decoder", "mp3", AVMEDIA_TYPE_AUDIO, false, 0, true, AV_CODEC_ID_MP3,
     ""},
    {"wrong_media_type", "flac", AVMEDIA_TYPE_VIDEO, true, 0, false, AV_CODEC_ID_NONE,
     "Invalid encoder type 'flac'"},
    {"experimental_offers_the_other", "vorbis", AVMEDIA_TYPE_AUDIO, true, 0, false,
     AV_CODEC_ID_NONE,
     "encoder 'vorbis' is experimental and might produce bad results.\r\n"
     "Add '-strict experimental' if you want to use it.\r\n"
     "Or use the non experimental encoder 'libvorbis'."},
    {"experimental_allowed", "vorbis", AVMEDIA_TYPE_AUDIO, true, FF_COMPLIANCE_EXPERIMENTAL, true,
     AV_CODEC_ID_VORBIS, ""},
};

class EngineCodecLookup : public TEngineTest {};

TEST_F(EngineCodecLookup, EachNameIsFoundOrExplained) {
    for (const TLookupCase& c : LookupCases) {
        SCOPED_TRACE(c.Title);
        TTestTask task;
        AVCodecID id = AV_CODEC_ID_PROBE;
        EXPECT_EQ(task.FindCodecByName(c.Name, c.Type, c.Encoder, c.Strictness, id), c.Found);
        if (c.Found) {
            EXPECT_EQ(id, c.Id);
        } else {
            EXPECT_EQ(task.LastError, c.Message);
        }
    }
}

TEST_F(EngineCodecLookup, StrictnessComesFromTheStoresContextOfThatType) {
    TTestTask task;
    task.ParseOption("strict", "experimental");
    EXPECT_EQ(task.Strictness(AVMEDIA_TYPE_AUDIO), FF_COMPLIANCE_EXPERIMENTAL);
    EXPECT_EQ(task.Strictness(AVMEDIA_TYPE_VIDEO), FF_COMPLIANCE_EXPERIMENTAL);
}

} // namespace
