// File names for the media libraries, and the "unicode" file protocol.
//
// The libraries take file names as 8-bit strings in the character set of the current locale
// (the one nl_langinfo(CODESET) reports after the program's setlocale). A name that cannot
// be written in that set is handed to them marked, as "unicode:utf8:" + the UTF-8 name; such a
// name is opened by the protocol operations below (see MediaOpen.h), on POSIX file calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The marker of a name that only the protocol can open.
inline constexpr char UnicodeURLMarker[] = "unicode:utf8:";
inline constexpr size_t UnicodeURLMarkerLength = sizeof(UnicodeURLMarker) - 1;

// The network protocols a source may be named with ("scheme://...", exact case): http, https,
// ftp, gopher, rtmp, rtmps, rtsp, srt, tcp, udp, rtp, tls.
const std::vector<std::string>& NetworkSchemes();
// True for "scheme://..." with one of NetworkSchemes.
bool IsNetworkURL(const std::string& name);
// True when the libraries would read a protocol prefix in `name` ("scheme:" or
// "scheme,options:" with scheme of letters, digits, "+", "-" and "."): "pipe:0.wav",
// "Live:2020.wav", ".Live:2020.mp3".
bool LooksLikeURL(const std::string& name);
// `path` (a local file's name) in a form no opener reads as a URL: "./" before a name that
// LooksLikeURL, any other name as it stands.
std::string LocalFileName(const std::string& path);

// True when the UTF-8 name does not survive the round trip through the locale's character
// set. A network URL, an explicit "file:" name or a marked one is never marked.
bool NeedsUnicodeProtocol(const std::string& name);

// The name to give to the libraries: a network URL (IsNetworkURL), an explicit "file:" name
// or a marked one as it stands; any other name is a local file: marked when
// NeedsUnicodeProtocol, else "./" before it when it reads as a protocol (LocalFileName), in
// the locale's character set.
std::string FileNameToURL(const std::string& name);

// True for a marked name with at least one character after the marker.
bool IsUnicodeURL(const std::string& name);

// The reverse of FileNameToURL, for names read back from a library context: the marker
// removed, or the 8-bit name converted from the locale's character set to UTF-8.
std::string URLToFileName(const std::string& name);

// One open file of the protocol: the connection's private data, the file descriptor.
// A connection still open when destroyed is closed.
class TUnicodeConnection {
public:
    TUnicodeConnection() = default;
    ~TUnicodeConnection();
    TUnicodeConnection(const TUnicodeConnection&) = delete;
    TUnicodeConnection& operator=(const TUnicodeConnection&) = delete;

    int Handle = -1;
};

// The protocol operations. flags are the libraries' AVIO_FLAG_* values: with AVIO_FLAG_WRITE
// the file is created or truncated (read-write when AVIO_FLAG_READ is set too); without it
// the file is opened read-only and must exist. Returns 0, or a negative library error code
// (AVERROR(ENOENT), -2, for a missing file).
int UnicodeOpen(TUnicodeConnection& h, const std::string& url, int flags);
// One read or write of up to size bytes: the count transferred, or -1 (errno tells why).
int UnicodeRead(TUnicodeConnection& h, unsigned char* buf, int size);
int UnicodeWrite(TUnicodeConnection& h, const unsigned char* buf, int size);
// whence SEEK_SET, SEEK_CUR, SEEK_END: the new position; AVSEEK_SIZE: the file size, the
// position left where it is. -1 on failure.
int64_t UnicodeSeek(TUnicodeConnection& h, int64_t pos, int whence);
// Closes the file: close()'s result (0 when the connection was not open).
int UnicodeClose(TUnicodeConnection& h);
