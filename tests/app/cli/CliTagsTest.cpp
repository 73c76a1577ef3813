// Tags and covers of audioconv-cli's outputs, read back with TagLib field by field: each
// format keeps every mapped tag where its players look (ID3v2.4 frames, MP4 atoms, Vorbis
// comments under their own names, ASF attributes), two artists stay two, a format without a
// field for a tag names it; a folder's cover reaches outputs of sources without a picture,
// scaled down on request.
#include <gtest/gtest.h>

#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CliRun.h"
#include "ProbedOutput.h"

namespace {

using clitest::Contains;
using clitest::RunCli;
using clitest::TRun;
namespace fs = std::filesystem;
using TFields = std::map<std::string, std::vector<std::string>>;

std::string Text(const TagLib::String& s) {
    return s.to8Bit(true);
}

std::vector<std::string> Texts(const TagLib::StringList& list) {
    std::vector<std::string> out;
    for (const TagLib::String& s : list)
        out.push_back(Text(s));
    return out;
}

void AddXiph(const TagLib::Ogg::XiphComment* comment, TFields& fields) {
    if (comment == nullptr)
        return;
    for (const auto& field : comment->fieldListMap())
        fields[Text(field.first)] = Texts(field.second);
}

// Every field of the file's tag block by its own name in that format.
TFields ReadFields(const std::string& path, const std::string& format) {
    TFields fields;
    if (format == "mp3") {
        TagLib::MPEG::File file(path.c_str(), false);
        if (!file.hasID3v2Tag())
            return fields;
        for (TagLib::ID3v2::Frame* frame : file.ID3v2Tag()->frameList()) {
            const std::string id(frame->frameID().data(), frame->frameID().size());
            if (auto* user = dynamic_cast<TagLib::ID3v2::UserTextIdentificationFrame*>(frame)) {
                std::vector<std::string> values = Texts(user->fieldList());
                values.erase(values.begin()); // the description
                fields["TXXX:" + Text(user->description())] = values;
            } else if (auto* text = dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(frame)) {
                fields[id] = Texts(text->fieldList());
            } else if (auto* comment = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(frame)) {
                fields["COMM:" + Text(comment->description())] = {Text(comment->text())};
            } else if (auto* ufid =
                           dynamic_cast<TagLib::ID3v2::UniqueFileIdentifierFrame*>(frame)) {
                const TagLib::ByteVector id = ufid->identifier();
                fields["UFID:" + Text(ufid->owner())] = {std::string(id.data(), id.size())};
            }
        }
    } else if (format == "m4a") {
        TagLib::MP4::File file(path.c_str(), false);
        if (file.tag() == nullptr)
            return fields;
        for (const auto& item : file.tag()->itemMap()) {
            const std::string key = item.first.to8Bit(false); // Latin-1 bytes: "\xA9nam"
            if (key == "trkn" || key == "disk")
                fields[key] = {std::to_string(item.second.toIntPair().first) + "/" +
                               std::to_string(item.second.toIntPair().second)};
            else if (key == "cpil")
                fields[key] = {item.second.toBool() ? "1" : "0"};
            else if (key != "covr")
                fields[key] = Texts(item.second.toStringList());
        }
    } else if (format == "flac") {
        TagLib::FLAC::File file(path.c_str(), false);
        AddXiph(file.xiphComment(), fields);
    } else if (format == "ogg") {
        TagLib::Ogg::Vorbis::File file(path.c_str(), false);
        AddXiph(file.tag(), fields);
    } else if (format == "opus") {
        TagLib::Ogg::Opus::File file(path.c_str(), false);
        AddXiph(file.tag(), fields);
    } else if (format == "wma") {
        TagLib::ASF::File file(path.c_str(), false);
        if (file.tag() == nullptr)
            return fields;
        fields["Title"] = {Text(file.tag()->title())};
        fields["Author"] = {Text(file.tag()->artist())};
        fields["Description"] = {Text(file.tag()->comment())};
        for (const auto& attribute : file.tag()->attributeListMap())
            for (const TagLib::ASF::Attribute& value : attribute.second) {
                std::string text;
                switch (value.type()) {
                case TagLib::ASF::Attribute::UnicodeType:
                    text = Text(value.toString());
                    break;
                case TagLib::ASF::Attribute::BoolType:
                    text = value.toBool() ? "1" : "0";
                    break;
                case TagLib::ASF::Attribute::DWordType:
                    text = std::to_string(value.toUInt());
                    break;
                default:
                    text = "?";
                }
                fields[Text(attribute.first)].push_back(text);
            }
    }
    return fields;
}

constexpr const char* RecordingId = "8f3471b5-7e6a-48da-86a9-c1c07a0f47ae";
constexpr const char* AlbumId = "1e477f68-c407-4eae-ad01-518528cedc2c";

// Where each format keeps the source's tags, as its players read them.
const struct {
    const char* Format;
    std::vector<std::pair<std::string, std::vector<std::string>>> Fields;
} FormatFields[] = {
    {"mp3",
     {{"TIT2", {"Song"}},
      {"TPE1", {"Ann", "Bob"}},
      {"TPE2", {"The Band"}},
      {"TALB", {"Album"}},
      {"TRCK", {"3/12"}},
      {"TPOS", {"1/2"}},
      {"TDRC", {"2001"}},
      {"TCON", {"Rock"}},
      {"COMM:", {"Nice one"}},
      {"TCMP", {"1"}},
      {"TXXX:REPLAYGAIN_TRACK_GAIN", {"-6.50 dB"}},
      {"TXXX:MusicBrainz Album Id", {AlbumId}},
      {"UFID:http://musicbrainz.org", {RecordingId}}}},
    {"m4a",
     {{"\xA9nam", {"Song"}},
      {"\xA9"
       "ART",
       {"Ann", "Bob"}},
      {"aART", {"The Band"}},
      {"\xA9"
       "alb",
       {"Album"}},
      {"trkn", {"3/12"}},
      {"disk", {"1/2"}},
      {"\xA9"
       "day",
       {"2001"}},
      {"\xA9gen", {"Rock"}},
      {"\xA9"
       "cmt",
       {"Nice one"}},
      {"cpil", {"1"}},
      {"----:com.apple.iTunes:REPLAYGAIN_TRACK_GAIN", {"-6.50 dB"}},
      {"----:com.apple.iTunes:MusicBrainz Album Id", {AlbumId}},
      {"----:com.apple.iTunes:MusicBrainz Track Id", {RecordingId}}}},
    {"wma",
     {{"Title", {"Song"}},
      {"Author", {"Ann; Bob"}},
      {"WM/AlbumArtist", {"The Band"}},
      {"WM/AlbumTitle", {"Album"}},
      {"WM/TrackNumber", {"3"}},
      {"WM/PartOfSet", {"1/2"}},
      {"WM/Year", {"2001"}},
      {"WM/Genre", {"Rock"}},
      {"Description", {"Nice one"}},
      {"WM/IsCompilation", {"1"}},
      {"ReplayGain/Track", {"-6.50 dB"}},
      {"MusicBrainz/Album Id", {AlbumId}},
      {"MusicBrainz/Track Id", {RecordingId}}}},
};

// The Vorbis comments of FLAC, OGG and Opus: the source's names, COMMENT as COMMENT.
const std::vector<std::pair<std::string, std::vector<std::string>>> VorbisFields = {
    {"TITLE", {"Song"}},
    {"ARTIST", {"Ann", "Bob"}},
    {"ALBUMARTIST", {"The Band"}},
    {"ALBUM", {"Album"}},
    {"TRACKNUMBER", {"3"}},
    {"TRACKTOTAL", {"12"}},
    {"DISCNUMBER", {"1"}},
    {"DISCTOTAL", {"2"}},
    {"DATE", {"2001"}},
    {"GENRE", {"Rock"}},
    {"COMMENT", {"Nice one"}},
    {"COMPILATION", {"1"}},
    {"REPLAYGAIN_TRACK_GAIN", {"-6.50 dB"}},
    {"MUSICBRAINZ_ALBUMID", {AlbumId}},
    {"MUSICBRAINZ_TRACKID", {RecordingId}},
};

// The bytes of a file.
std::string FileBytes(const std::string& path) {
    return apptest::ReadFile(path);
}

// The first picture of an output as TagLib reads it from the format's own place.
struct TReadPicture {
    int Count = 0;
    std::string Data, Mime;
    int Type = -1;
};

TReadPicture ReadPicture(const std::string& path, const std::string& format) {
    TReadPicture out;
    if (format == "mp3") {
        TagLib::MPEG::File file(path.c_str(), false);
        if (!file.hasID3v2Tag())
            return out;
        for (TagLib::ID3v2::Frame* frame : file.ID3v2Tag()->frameList("APIC")) {
            auto* p = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
            if (out.Count++ == 0)
                out = {1, std::string(p->picture().data(), p->picture().size()),
                       Text(p->mimeType()), static_cast<int>(p->type())};
        }
    } else if (format == "m4a") {
        TagLib::MP4::File file(path.c_str(), false);
        if (file.tag() == nullptr || !file.tag()->contains("covr"))
            return out;
        const TagLib::MP4::CoverArtList covers = file.tag()->item("covr").toCoverArtList();
        if (covers.isEmpty())
            return out;
        out.Count = static_cast<int>(covers.size());
        out.Data = std::string(covers.front().data().data(), covers.front().data().size());
        out.Mime = covers.front().format() == TagLib::MP4::CoverArt::JPEG ? "image/jpeg" : "?";
        out.Type = 3; // MP4 covers have no type
    } else if (format == "ogg" || format == "flac") {
        TagLib::List<TagLib::FLAC::Picture*> pictures;
        std::unique_ptr<TagLib::File> file;
        if (format == "ogg") {
            auto* ogg = new TagLib::Ogg::Vorbis::File(path.c_str(), false);
            file.reset(ogg);
            pictures = ogg->tag()->pictureList();
        } else {
            auto* flac = new TagLib::FLAC::File(path.c_str(), false);
            file.reset(flac);
            pictures = flac->pictureList();
        }
        out.Count = static_cast<int>(pictures.size());
        if (out.Count > 0) {
            const TagLib::FLAC::Picture* p = pictures.front();
            out = {out.Count, std::string(p->data().data(), p->data().size()), Text(p->mimeType()),
                   static_cast<int>(p->type())};
        }
    }
    return out;
}

// Width and height of the first picture stream of `path` as ffprobe sees it: "WxH".
std::string PictureSize(const std::string& path) {
    return apptest::RunForOutput("ffprobe -v error -select_streams v:0 -show_entries "
                                 "stream=width,height -of csv=p=0:s=x " +
                                 testmedia::Quote(path) + " 2>/dev/null");
}

class CliTags : public ::testing::Test {
protected:
    void SetUp() override {
        media_ = apptest::FreshDir("tags-media");
        source_ = media_ + "song.flac";
        ASSERT_FALSE(testmedia::Make(source_, "-f lavfi -i sine=frequency=440:duration=1 "
                                              "-ac 2 -c:a flac -map_metadata -1")
                         .empty());
        // Tagged by TagLib: ffmpeg's own writer would rename COMMENT.
        TagLib::FLAC::File file(source_.c_str(), false);
        TagLib::PropertyMap tags;
        tags["TITLE"] = TagLib::StringList("Song");
        TagLib::StringList artists("Ann");
        artists.append("Bob");
        tags["ARTIST"] = artists;
        tags["ALBUMARTIST"] = TagLib::StringList("The Band");
        tags["ALBUM"] = TagLib::StringList("Album");
        tags["TRACKNUMBER"] = TagLib::StringList("3");
        tags["TRACKTOTAL"] = TagLib::StringList("12");
        tags["DISCNUMBER"] = TagLib::StringList("1");
        tags["DISCTOTAL"] = TagLib::StringList("2");
        tags["DATE"] = TagLib::StringList("2001");
        tags["GENRE"] = TagLib::StringList("Rock");
        tags["COMMENT"] = TagLib::StringList("Nice one");
        tags["COMPILATION"] = TagLib::StringList("1");
        tags["REPLAYGAIN_TRACK_GAIN"] = TagLib::StringList("-6.50 dB");
        tags["MUSICBRAINZ_ALBUMID"] = TagLib::StringList(AlbumId);
        tags["MUSICBRAINZ_TRACKID"] = TagLib::StringList(RecordingId);
        file.xiphComment(true)->setProperties(tags);
        ASSERT_TRUE(file.save());
        out_ = apptest::FreshDir("tags-out");
    }

    // Converts `source` to `format` with `extra` options; the output's path.
    std::string Convert(const std::string& format, const std::string& extra = "",
                        const std::string& source = "") {
        const TRun run =
            RunCli("--quiet -f " + format + " " + extra + " -o " + testmedia::Quote(out_) + " " +
                       testmedia::Quote(source.empty() ? source_ : source),
                   out_);
        EXPECT_EQ(run.Status, 0) << run.Err;
        const std::string name = source.empty() ? source_ : source;
        return out_ + fs::path(name).stem().string() + "." + format;
    }

    std::string media_, source_, out_;
};

TEST_F(CliTags, EachFormatKeepsEveryMappedTagInItsOwnFields) {
    std::vector<std::pair<std::string, decltype(VorbisFields)>> table;
    for (const auto& row : FormatFields)
        table.emplace_back(row.Format, row.Fields);
    for (const char* vorbis : {"flac", "ogg", "opus"})
        table.emplace_back(vorbis, VorbisFields);
    for (const auto& [format, expected] : table) {
        SCOPED_TRACE(format);
        const std::string output = Convert(format);
        const TFields fields = ReadFields(output, format);
        for (const auto& [field, values] : expected) {
            const auto found = fields.find(field);
            ASSERT_NE(found, fields.end()) << "no field " << field;
            EXPECT_EQ(found->second, values) << field;
        }
        // Nothing of the muxer's own spelling is left beside them.
        EXPECT_EQ(fields.count("DESCRIPTION"), 0u);
        EXPECT_EQ(fields.count("album_artist"), 0u);
        EXPECT_EQ(fields.count("TXXX:MusicBrainz Track Id"), 0u);
    }
    // ID3v2.4 by default.
    EXPECT_EQ(FileBytes(out_ + "song.mp3").substr(0, 4), std::string("ID3\x04", 4));
}

TEST_F(CliTags, OutputsReadBackAsSourcesGiveTheSameVocabulary) {
    // Every format's fields read back into the one vocabulary, the ones TagLib's own mapping
    // leaves out too (MP4 free-form atoms, ASF ReplayGain).
    for (const char* format : {"mp3", "m4a", "flac", "ogg", "opus", "wma"}) {
        SCOPED_TRACE(format);
        const std::string output = Convert(format);
        const TRun run = RunCli("--json " + testmedia::Quote(output), out_);
        ASSERT_EQ(run.Status, 0) << run.Err;
        const nlohmann::json tags = nlohmann::json::parse(run.Out)["tags"];
        EXPECT_EQ(tags["title"], "Song");
        EXPECT_EQ(tags["albumartist"], "The Band");
        EXPECT_EQ(tags["track"], "3");
        EXPECT_EQ(tags["disc"], "1");
        EXPECT_EQ(tags["disctotal"], "2");
        EXPECT_EQ(tags["comment"], "Nice one");
        EXPECT_EQ(tags["compilation"], "1");
        EXPECT_EQ(tags["replaygain_track_gain"], "-6.50 dB");
        EXPECT_EQ(tags["musicbrainz_albumid"], AlbumId);
        EXPECT_EQ(tags["musicbrainz_trackid"], RecordingId);
        if (std::string(format) != "wma") {
            EXPECT_EQ(tags["tracktotal"], "12");
            EXPECT_EQ(tags["artist"], nlohmann::json::array({"Ann", "Bob"}));
        }
    }
}

TEST_F(CliTags, Id3v2Version3IsWrittenWhenAsked) {
    const std::string output = Convert("mp3", "-x id3v2_version=3");
    EXPECT_EQ(FileBytes(output).substr(0, 4), std::string("ID3\x03", 4));
    const TFields fields = ReadFields(output, "mp3");
    ASSERT_EQ(fields.count("TRCK"), 1u);
    EXPECT_EQ(fields.at("TRCK"), std::vector<std::string>{"3/12"});
    // TagLib reads TYER back as TDRC: the frame is looked for in the file itself.
    EXPECT_TRUE(Contains(FileBytes(output), "TYER")) << "ID3v2.3 keeps the year in TYER";
    EXPECT_FALSE(Contains(FileBytes(output), "TDRC"));
}

TEST_F(CliTags, TagsAFormatCannotHoldAreNamedInTheLogAndTheJson) {
    const TRun run =
        RunCli("--log -f wav -o " + testmedia::Quote(out_) + " " + testmedia::Quote(source_), out_);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::string all = run.Out + run.Err;
    EXPECT_TRUE(Contains(all, "song.wav: tags its format cannot hold: albumartist, ")) << all;
    EXPECT_TRUE(Contains(all, "musicbrainz_albumid")) << all;
    // What RIFF INFO holds is there.
    EXPECT_TRUE(Contains(apptest::RunForOutput("ffprobe -v error -show_entries format_tags "
                                               "-of compact " +
                                               testmedia::Quote(out_ + "song.wav")),
                         "title=Song"));

    const TRun json = RunCli("--json -f wav " + testmedia::Quote(source_), out_);
    ASSERT_EQ(json.Status, 0) << json.Err;
    const nlohmann::json report = nlohmann::json::parse(json.Out);
    const std::vector<std::string> dropped = report["dropped"];
    EXPECT_NE(std::find(dropped.begin(), dropped.end(), "albumartist"), dropped.end());
    EXPECT_NE(std::find(dropped.begin(), dropped.end(), "replaygain_track_gain"), dropped.end());
    EXPECT_EQ(std::find(dropped.begin(), dropped.end(), "title"), dropped.end());
    EXPECT_EQ(std::find(dropped.begin(), dropped.end(), "comment"), dropped.end());
    // The one vocabulary, the raw names beside it, the sample size.
    EXPECT_EQ(report["tags"]["title"], "Song");
    EXPECT_EQ(report["tags"]["artist"], nlohmann::json::array({"Ann", "Bob"}));
    EXPECT_EQ(report["tags"]["tracktotal"], "12");
    EXPECT_EQ(report["tags"]["comment"], "Nice one");
    EXPECT_EQ(report["raw_tags"]["TITLE"], "Song");
    EXPECT_EQ(report["bits_per_sample"], 16);
}

class CliFolderCover : public CliTags {
protected:
    void SetUp() override {
        CliTags::SetUp();
        album_ = apptest::FreshDir("tags-album");
        for (const char* track : {"01.flac", "02.flac"})
            fs::copy_file(source_, album_ + track);
        // In capitals, as some programs write it; a picture of another name beside it.
        ASSERT_FALSE(testmedia::Make(album_ + "Folder.JPG",
                                     "-f lavfi -i color=c=blue:s=800x600:d=1 -frames:v 1 "
                                     "-c:v mjpeg -f image2")
                         .empty());
        ASSERT_FALSE(testmedia::Make(album_ + "back.jpg",
                                     "-f lavfi -i color=c=red:s=64x64:d=1 -frames:v 1 "
                                     "-c:v mjpeg -f image2")
                         .empty());
        cover_ = FileBytes(album_ + "Folder.JPG");
        ASSERT_GT(cover_.size(), 100u);
    }

    std::string album_, cover_;
};

TEST_F(CliFolderCover, TheFolderCoverReachesEveryTrackAsFrontCover) {
    for (const char* format : {"mp3", "m4a", "flac", "ogg"}) {
        SCOPED_TRACE(format);
        for (const char* track : {"01", "02"}) {
            const std::string output = Convert(format, "", album_ + track + ".flac");
            const TReadPicture picture = ReadPicture(output, format);
            EXPECT_EQ(picture.Count, 1);
            EXPECT_EQ(picture.Data, cover_) << "not the folder's picture byte for byte";
            EXPECT_EQ(picture.Mime, "image/jpeg");
            EXPECT_EQ(picture.Type, 3);
        }
    }
}

TEST_F(CliFolderCover, CoverMaxScalesTheCoverAndNoCoverLeavesItOut) {
    const std::string scaled = Convert("mp3", "--cover-max 500", album_ + "01.flac");
    const TReadPicture picture = ReadPicture(scaled, "mp3");
    EXPECT_EQ(picture.Count, 1);
    EXPECT_EQ(picture.Mime, "image/jpeg");
    EXPECT_EQ(PictureSize(scaled), "500x375\n");

    const std::string bare = Convert("m4a", "--no-cover", album_ + "02.flac");
    EXPECT_EQ(ReadPicture(bare, "m4a").Count, 0);
    EXPECT_EQ(PictureSize(bare), "");
}

} // namespace
