#include "CoverPictures.h"

#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

namespace {

std::string Text(const TagLib::String& text) {
    return text.to8Bit(true);
}

std::string Bytes(const TagLib::ByteVector& bytes) {
    return std::string(bytes.data(), bytes.size());
}

void AddXiph(const TagLib::List<TagLib::FLAC::Picture*>& list, std::vector<TCoverPicture>& out) {
    for (const TagLib::FLAC::Picture* p : list)
        out.push_back({Bytes(p->data()), Text(p->mimeType()), Text(p->description()),
                       static_cast<int>(p->type())});
}

} // namespace

std::string PictureMimeOf(const std::string& data) {
    if (data.size() >= 3 && data.compare(0, 3, "\xFF\xD8\xFF") == 0)
        return "image/jpeg";
    if (data.size() >= 8 && data.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0)
        return "image/png";
    return "";
}

std::vector<TCoverPicture> ReadCoverPictures(TagLib::File& file) {
    std::vector<TCoverPicture> out;
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file)) {
        if (!mpeg->hasID3v2Tag())
            return out;
        for (const TagLib::ID3v2::Frame* frame : mpeg->ID3v2Tag()->frameList("APIC"))
            if (auto* p = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame))
                out.push_back({Bytes(p->picture()), Text(p->mimeType()), Text(p->description()),
                               static_cast<int>(p->type())});
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(&file)) {
        if (mp4->tag() == nullptr || !mp4->tag()->contains("covr"))
            return out;
        for (const TagLib::MP4::CoverArt& art : mp4->tag()->item("covr").toCoverArtList()) {
            const std::string data = Bytes(art.data());
            out.push_back({data, PictureMimeOf(data), "", 3});
        }
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(&file)) {
        AddXiph(flac->pictureList(), out);
    } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(&file)) {
        if (vorbis->tag() != nullptr)
            AddXiph(vorbis->tag()->pictureList(), out);
    } else if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(&file)) {
        if (opus->tag() != nullptr)
            AddXiph(opus->tag()->pictureList(), out);
    } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(&file)) {
        if (asf->tag() == nullptr || !asf->tag()->contains("WM/Picture"))
            return out;
        for (const TagLib::ASF::Attribute& a : asf->tag()->attribute("WM/Picture")) {
            const TagLib::ASF::Picture p = a.toPicture();
            if (p.isValid())
                out.push_back({Bytes(p.picture()), Text(p.mimeType()), Text(p.description()),
                               static_cast<int>(p.type())});
        }
    }
    return out;
}

std::vector<TCoverPicture> ReadFileCoverPictures(const std::string& path) {
    TagLib::FileRef file(path.c_str(), false);
    if (file.isNull() || file.file() == nullptr)
        return {};
    return ReadCoverPictures(*file.file());
}
