#include "TagWriter.h"

#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <cstdlib>

#include "CoverScale.h"
#include "options/OptionLines.h"

namespace {

using TagLib::String;

String Utf8(const std::string& text) {
    return String(text, String::UTF8);
}

TagLib::StringList Utf8List(const std::vector<std::string>& values) {
    TagLib::StringList list;
    for (const std::string& value : values)
        list.append(Utf8(value));
    return list;
}

TagLib::ByteVector Bytes(const std::string& data) {
    return TagLib::ByteVector(data.data(), static_cast<unsigned int>(data.size()));
}

std::string Joined(const std::vector<std::string>& values, const char* separator) {
    std::string text;
    for (const std::string& value : values)
        text += (text.empty() ? "" : separator) + value;
    return text;
}

TTagKind KindOf(const std::string& name) {
    const TTagRow* row = TagRowOf(name);
    return row == nullptr ? TTagKind::Text : row->Kind;
}

bool IsYes(const std::string& value) {
    return !value.empty() && value != "0" && value != "false" && value != "no";
}

// "3/12", or "3" without a total.
std::string NumberWithTotal(const TTagList& tags, const TTagEntry& number) {
    const std::vector<std::string>* total = TagValues(tags, number.Name + "total");
    return number.Values.front() + (total != nullptr ? "/" + total->front() : "");
}

// One written tag: its field in the format, its kind and the entry.
struct TField {
    std::string Field;
    TTagKind Kind;
    const TTagEntry& Entry;
};

// The tags of the job that the format holds, by field. A Total whose field is its number's
// is written with the number (and dropped without one).
std::vector<TField> FieldsOf(const TTagJob& job) {
    std::vector<TField> fields;
    for (const TTagEntry& entry : job.Tags) {
        const std::string field = TagFieldOf(entry.Name, job.Format);
        if (field.empty())
            continue;
        const TTagKind kind = KindOf(entry.Name);
        if (kind == TTagKind::Total) {
            const TTagRow* row = TagRowOf(entry.Name);
            if (field == TagFieldOf(row->NumberOf, job.Format))
                continue;
        }
        fields.push_back({field, kind, entry});
    }
    return fields;
}

// The pictures the output ends with, from those it has: left out, the job's covers for an
// output without any, scaled down where the job says so. False when they stay as they are.
bool WantedPictures(const TTagJob& job, const std::vector<TCoverPicture>& existing,
                    std::vector<TCoverPicture>& wanted, std::string& problem) {
    if (job.NoCover) {
        wanted.clear();
        return !existing.empty();
    }
    bool changed = false;
    wanted = existing;
    if (wanted.empty() && job.Covers) {
        wanted = job.Covers();
        changed = !wanted.empty();
    }
    if (job.CoverMaxPixels > 0)
        for (TCoverPicture& picture : wanted) {
            bool scaled = false;
            const std::string reason = ScaleCoverPicture(picture, job.CoverMaxPixels, scaled);
            if (!reason.empty())
                problem = reason;
            changed = changed || scaled;
        }
    return changed;
}

TagLib::FLAC::Picture* FlacPicture(const TCoverPicture& picture) {
    auto* p = new TagLib::FLAC::Picture;
    p->setType(static_cast<TagLib::FLAC::Picture::Type>(picture.Type));
    p->setMimeType(Utf8(picture.Mime));
    p->setDescription(Utf8(picture.Description));
    p->setData(Bytes(picture.Data));
    return p;
}

// ID3v2 (MP3, MP2): every frame but the pictures replaced.
std::string WriteId3v2(const std::string& path, const TTagJob& job) {
    TagLib::MPEG::File file(path.c_str(), false);
    if (!file.isValid())
        return "not an MPEG audio file";
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    std::string problem;
    std::vector<TCoverPicture> pictures;
    const bool newPictures = WantedPictures(job, ReadCoverPictures(file), pictures, problem);
    // A plain copy: the tag's own list deletes its frames, and a copy of it would share that.
    const std::vector<TagLib::ID3v2::Frame*> frames(tag->frameList().begin(),
                                                    tag->frameList().end());
    for (TagLib::ID3v2::Frame* frame : frames)
        if (newPictures || frame->frameID() != "APIC")
            tag->removeFrame(frame, true);
    for (const TField& f : FieldsOf(job)) {
        const TagLib::StringList values = Utf8List(f.Entry.Values);
        if (f.Field == "COMM") {
            auto* frame = new TagLib::ID3v2::CommentsFrame(String::UTF8);
            frame->setLanguage("eng");
            frame->setText(Utf8(Joined(f.Entry.Values, "\n")));
            tag->addFrame(frame);
        } else if (f.Field == "USLT") {
            auto* frame = new TagLib::ID3v2::UnsynchronizedLyricsFrame(String::UTF8);
            frame->setLanguage("eng");
            frame->setText(Utf8(Joined(f.Entry.Values, "\n")));
            tag->addFrame(frame);
        } else if (f.Field.rfind("TXXX:", 0) == 0) {
            auto* frame = new TagLib::ID3v2::UserTextIdentificationFrame(String::UTF8);
            frame->setDescription(Utf8(f.Field.substr(5)));
            frame->setText(values);
            tag->addFrame(frame);
        } else if (f.Field.rfind("UFID:", 0) == 0) {
            tag->addFrame(new TagLib::ID3v2::UniqueFileIdentifierFrame(
                Utf8(f.Field.substr(5)), Bytes(f.Entry.Values.front())));
        } else {
            auto* frame = new TagLib::ID3v2::TextIdentificationFrame(
                TagLib::ByteVector(f.Field.c_str()), String::UTF8);
            if (f.Kind == TTagKind::Number)
                frame->setText(Utf8(NumberWithTotal(job.Tags, f.Entry)));
            else if (f.Kind == TTagKind::Flag)
                frame->setText(IsYes(f.Entry.Values.front()) ? "1" : "0");
            else
                frame->setText(values);
            tag->addFrame(frame);
        }
    }
    if (newPictures)
        for (const TCoverPicture& picture : pictures) {
            auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
            frame->setTextEncoding(String::UTF8);
            frame->setMimeType(Utf8(picture.Mime));
            frame->setDescription(Utf8(picture.Description));
            frame->setType(static_cast<TagLib::ID3v2::AttachedPictureFrame::Type>(picture.Type));
            frame->setPicture(Bytes(picture.Data));
            tag->addFrame(frame);
        }
    const auto version = job.Id3v2Version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4;
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, version))
        return "cannot save the ID3v2 tag";
    return problem;
}

// MP4 atoms (M4A): every item but the cover replaced.
std::string WriteMp4(const std::string& path, const TTagJob& job) {
    TagLib::MP4::File file(path.c_str(), false);
    if (!file.isValid() || file.tag() == nullptr)
        return "not an MP4 file";
    TagLib::MP4::Tag* tag = file.tag();
    std::string problem;
    std::vector<TCoverPicture> pictures;
    const bool newPictures = WantedPictures(job, ReadCoverPictures(file), pictures, problem);
    const TagLib::MP4::ItemMap items = tag->itemMap();
    for (const auto& item : items)
        if (newPictures || item.first != "covr")
            tag->removeItem(item.first);
    for (const TField& f : FieldsOf(job)) {
        const String key(f.Field, String::Latin1);
        const std::string& first = f.Entry.Values.front();
        if (f.Kind == TTagKind::Number) {
            const std::vector<std::string>* total = TagValues(job.Tags, f.Entry.Name + "total");
            tag->setItem(key, TagLib::MP4::Item(std::atoi(first.c_str()),
                                                total ? std::atoi(total->front().c_str()) : 0));
        } else if (f.Kind == TTagKind::Flag) {
            tag->setItem(key, TagLib::MP4::Item(IsYes(first)));
        } else if (f.Field == "tmpo") {
            tag->setItem(key, TagLib::MP4::Item(std::atoi(first.c_str())));
        } else {
            tag->setItem(key, TagLib::MP4::Item(Utf8List(f.Entry.Values)));
        }
    }
    if (newPictures && !pictures.empty()) {
        TagLib::MP4::CoverArtList covers;
        for (const TCoverPicture& picture : pictures)
            covers.append(TagLib::MP4::CoverArt(picture.Mime == "image/png"
                                                    ? TagLib::MP4::CoverArt::PNG
                                                    : TagLib::MP4::CoverArt::JPEG,
                                                Bytes(picture.Data)));
        tag->setItem("covr", TagLib::MP4::Item(covers));
    }
    if (!file.save())
        return "cannot save the MP4 tags";
    return problem;
}

// Vorbis comments: every field replaced, one field per value under the row's name. The
// stream's language, which the muxer writes as a comment (-x alang), is the output's own and
// stays unless the tags name one.
void SetXiphFields(TagLib::Ogg::XiphComment& comment, const TTagJob& job) {
    const TagLib::Ogg::FieldListMap fields = comment.fieldListMap();
    const auto language = fields.find("LANGUAGE");
    const TagLib::StringList kept =
        language != fields.end() ? language->second : TagLib::StringList();
    comment.removeAllFields();
    bool namesLanguage = false;
    for (const TField& f : FieldsOf(job))
        namesLanguage = namesLanguage || Utf8(f.Field).upper() == "LANGUAGE";
    if (!namesLanguage)
        for (const TagLib::String& value : kept)
            comment.addField("LANGUAGE", value, false);
    for (const TField& f : FieldsOf(job))
        for (const std::string& value : f.Entry.Values)
            comment.addField(Utf8(f.Field),
                             Utf8(f.Kind == TTagKind::Flag ? (IsYes(value) ? "1" : "0") : value),
                             false);
}

std::string WriteFlac(const std::string& path, const TTagJob& job) {
    TagLib::FLAC::File file(path.c_str(), false);
    if (!file.isValid())
        return "not a FLAC file";
    std::string problem;
    std::vector<TCoverPicture> pictures;
    if (WantedPictures(job, ReadCoverPictures(file), pictures, problem)) {
        file.removePictures();
        for (const TCoverPicture& picture : pictures)
            file.addPicture(FlacPicture(picture));
    }
    SetXiphFields(*file.xiphComment(true), job);
    if (!file.save())
        return "cannot save the FLAC tags";
    return problem;
}

template <typename TOggFile> std::string WriteOgg(TOggFile& file, const TTagJob& job) {
    TagLib::Ogg::XiphComment* comment = file.tag();
    std::string problem;
    std::vector<TCoverPicture> pictures;
    if (WantedPictures(job, ReadCoverPictures(file), pictures, problem)) {
        comment->removeAllPictures();
        for (const TCoverPicture& picture : pictures)
            comment->addPicture(FlacPicture(picture));
    }
    SetXiphFields(*comment, job);
    if (!file.save())
        return "cannot save the Ogg comments";
    return problem;
}

std::string WriteVorbis(const std::string& path, const TTagJob& job) {
    if (path.size() >= 5 && path.compare(path.size() - 5, 5, ".flac") == 0)
        return WriteFlac(path, job);
    {
        TagLib::Ogg::Vorbis::File vorbis(path.c_str(), false);
        if (vorbis.isValid() && vorbis.tag() != nullptr)
            return WriteOgg(vorbis, job);
    }
    TagLib::Ogg::Opus::File opus(path.c_str(), false);
    if (opus.isValid() && opus.tag() != nullptr)
        return WriteOgg(opus, job);
    TagLib::FLAC::File flac(path.c_str(), false);
    if (flac.isValid())
        return WriteFlac(path, job);
    return "not an Ogg Vorbis, Opus or FLAC file";
}

// ASF attributes that describe the stream, kept from the muxer.
bool IsStreamAttribute(const String& name) {
    return name == "WMFSDKVersion" || name == "WMFSDKNeeded" || name == "IsVBR";
}

// ASF (WMA): the content description and every attribute replaced.
std::string WriteAsf(const std::string& path, const TTagJob& job) {
    TagLib::ASF::File file(path.c_str(), false);
    if (!file.isValid() || file.tag() == nullptr)
        return "not an ASF file";
    TagLib::ASF::Tag* tag = file.tag();
    std::string problem;
    std::vector<TCoverPicture> pictures;
    const bool newPictures = WantedPictures(job, ReadCoverPictures(file), pictures, problem);
    tag->setTitle("");
    tag->setArtist("");
    tag->setComment("");
    tag->setCopyright("");
    tag->setRating("");
    const TagLib::ASF::AttributeListMap attributes = tag->attributeListMap();
    for (const auto& attribute : attributes)
        if (!IsStreamAttribute(attribute.first) && (newPictures || attribute.first != "WM/Picture"))
            tag->removeItem(attribute.first);
    for (const TField& f : FieldsOf(job)) {
        const std::string& first = f.Entry.Values.front();
        if (f.Field == "Title")
            tag->setTitle(Utf8(Joined(f.Entry.Values, "; ")));
        else if (f.Field == "Author")
            tag->setArtist(Utf8(Joined(f.Entry.Values, "; ")));
        else if (f.Field == "Description")
            tag->setComment(Utf8(Joined(f.Entry.Values, "\n")));
        else if (f.Field == "Copyright")
            tag->setCopyright(Utf8(first));
        else if (f.Kind == TTagKind::Number && f.Field == "WM/PartOfSet")
            tag->setAttribute(Utf8(f.Field), Utf8(NumberWithTotal(job.Tags, f.Entry)));
        else if (f.Kind == TTagKind::Number)
            tag->setAttribute(Utf8(f.Field), TagLib::ASF::Attribute(static_cast<unsigned int>(
                                                 std::atoi(first.c_str()))));
        else if (f.Kind == TTagKind::Flag)
            tag->setAttribute(Utf8(f.Field), TagLib::ASF::Attribute(IsYes(first)));
        else
            for (const std::string& value : f.Entry.Values)
                tag->addAttribute(Utf8(f.Field), TagLib::ASF::Attribute(Utf8(value)));
    }
    if (newPictures)
        for (const TCoverPicture& picture : pictures) {
            TagLib::ASF::Picture p;
            p.setType(static_cast<TagLib::ASF::Picture::Type>(picture.Type));
            p.setMimeType(Utf8(picture.Mime));
            p.setDescription(Utf8(picture.Description));
            p.setPicture(Bytes(picture.Data));
            tag->addAttribute("WM/Picture", TagLib::ASF::Attribute(p));
        }
    if (!file.save())
        return "cannot save the ASF attributes";
    return problem;
}

// RIFF INFO (WAV): its few fields, values joined; WAV has no pictures.
std::string WriteRiffInfo(const std::string& path, const TTagJob& job) {
    TagLib::RIFF::WAV::File file(path.c_str(), false);
    if (!file.isValid())
        return "not a WAV file";
    TagLib::RIFF::Info::Tag* info = file.InfoTag();
    const TagLib::RIFF::Info::FieldListMap fields = info->fieldListMap();
    for (const auto& field : fields)
        info->removeField(field.first);
    for (const TField& f : FieldsOf(job))
        info->setFieldText(TagLib::ByteVector(f.Field.c_str()), Utf8(Joined(f.Entry.Values, "; ")));
    if (!file.save(TagLib::RIFF::WAV::File::Info, TagLib::File::StripOthers))
        return "cannot save the INFO chunk";
    return "";
}

} // namespace

std::vector<std::string> DroppedTags(const TTagList& tags, TTagFormat format) {
    std::vector<std::string> dropped;
    if (format == TTagFormat::Untouched)
        return dropped;
    for (const TTagEntry& entry : tags)
        if (TagFieldOf(entry.Name, format).empty())
            dropped.push_back(entry.Name);
    return dropped;
}

int Id3v2VersionOf(const std::string& extOptions) {
    int version = 4;
    for (const TOptionLine& line : ParseOptionLines(extOptions))
        if (line.Name == "id3v2_version")
            version = line.Value == "3" ? 3 : 4;
    return version;
}

std::string WriteOutputTags(const std::string& path, const TTagJob& job) {
    switch (job.Format) {
    case TTagFormat::Id3v2:
        return WriteId3v2(path, job);
    case TTagFormat::Mp4:
        return WriteMp4(path, job);
    case TTagFormat::Vorbis:
        return WriteVorbis(path, job);
    case TTagFormat::Asf:
        return WriteAsf(path, job);
    case TTagFormat::RiffInfo:
        return WriteRiffInfo(path, job);
    case TTagFormat::None:
    case TTagFormat::Untouched:
        return "";
    }
    return "";
}
