#include "UnicodeProtocol.h"

#include "FFLoad.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <string_view>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

namespace {

// The network protocols a source may be named with, as "scheme://..." (exact case).
const std::vector<std::string> NetworkSchemeList = {
    "http", "https", "ftp", "gopher", "rtmp", "rtmps", "rtsp", "srt", "tcp", "udp", "rtp", "tls",
};

// The length of the protocol prefix the libraries would read in `name` ("scheme:" or
// "scheme,options:"), 0 when it has none.
size_t ProtocolPrefixLength(const std::string& name) {
    size_t end = 0;
    while (end < name.size() && (std::isalnum(static_cast<unsigned char>(name[end])) ||
                                 name[end] == '+' || name[end] == '-' || name[end] == '.'))
        ++end;
    if (end == 0 || end == name.size() || (name[end] != ':' && name[end] != ','))
        return 0;
    return end;
}

bool StartsWith(const std::string& name, std::string_view prefix) {
    return name.compare(0, prefix.size(), prefix) == 0;
}

// A name handed to the libraries as it stands: a network URL, a marked name, an explicit
// local file ("file:").
bool IsLibraryURL(const std::string& name) {
    return IsNetworkURL(name) || StartsWith(name, UnicodeURLMarker) || StartsWith(name, "file:");
}

const char* LocaleCharset() {
    return nl_langinfo(CODESET);
}

bool IsUTF8Charset(const char* charset) {
    return strcasecmp(charset, "UTF-8") == 0 || strcasecmp(charset, "UTF8") == 0;
}

// One iconv conversion descriptor, closed on scope exit.
class TIconv {
public:
    TIconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~TIconv() {
        if (Valid())
            iconv_close(cd_);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;
    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return cd_; }

private:
    iconv_t cd_;
};

// Converts the whole text; false when the descriptor cannot be made or a character has no
// form in the target set (or the input is malformed).
bool ConvertCharset(const std::string& in, const char* from, const char* to, std::string& out) {
    TIconv cd(to, from);
    if (!cd.Valid())
        return false;
    out.clear();
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char chunk[256];
    bool flushing = false;
    for (;;) {
        char* dst = chunk;
        size_t room = sizeof(chunk);
        // After the input, a pass with a null source writes any closing shift sequence.
        const size_t r = flushing ? iconv(cd.Get(), nullptr, nullptr, &dst, &room)
                                  : iconv(cd.Get(), &src, &srcLeft, &dst, &room);
        out.append(chunk, static_cast<size_t>(dst - chunk));
        if (r == static_cast<size_t>(-1)) {
            if (errno != E2BIG)
                return false;
            continue; // the chunk was full: go on with the rest
        }
        if (flushing)
            return true;
        flushing = true; // iconv succeeds only once the whole input is converted
    }
}

} // namespace

const std::vector<std::string>& NetworkSchemes() {
    return NetworkSchemeList;
}

bool IsNetworkURL(const std::string& name) {
    for (const std::string& scheme : NetworkSchemeList)
        if (name.size() > scheme.size() + 3 && StartsWith(name, scheme) &&
            name.compare(scheme.size(), 3, "://") == 0)
            return true;
    return false;
}

bool LooksLikeURL(const std::string& name) {
    return ProtocolPrefixLength(name) > 0;
}

std::string LocalFileName(const std::string& path) {
    return LooksLikeURL(path) ? "./" + path : path;
}

bool NeedsUnicodeProtocol(const std::string& name) {
    if (IsLibraryURL(name))
        return false;
    const char* charset = LocaleCharset();
    // The file calls take UTF-8 bytes as they stand: every name survives.
    if (IsUTF8Charset(charset))
        return false;
    std::string local, back;
    if (!ConvertCharset(name, "UTF-8", charset, local) ||
        !ConvertCharset(local, charset, "UTF-8", back))
        return true;
    return back != name;
}

std::string FileNameToURL(const std::string& name) {
    if (NeedsUnicodeProtocol(name))
        return UnicodeURLMarker + name;
    // Any other name with what reads as a protocol prefix is a local file: "pipe:0.wav",
    // "Live:2020.mp3" and its temporary ".Live:2020....mp3" are opened as files.
    const std::string local =
        IsLibraryURL(name) || !LooksLikeURL(name) ? name : LocalFileName(name);
    const char* charset = LocaleCharset();
    std::string converted;
    if (IsUTF8Charset(charset) || !ConvertCharset(local, "UTF-8", charset, converted))
        return local; // a protocol URL the character set cannot hold goes as it is
    return converted;
}

bool IsUnicodeURL(const std::string& name) {
    return name.size() > UnicodeURLMarkerLength &&
           name.compare(0, UnicodeURLMarkerLength, UnicodeURLMarker) == 0;
}

std::string URLToFileName(const std::string& name) {
    if (IsUnicodeURL(name))
        return name.substr(UnicodeURLMarkerLength);
    // The "./" that FileNameToURL put before a name that reads as a protocol.
    if (StartsWith(name, "./") && LooksLikeURL(name.substr(2)) && !IsLibraryURL(name.substr(2)))
        return URLToFileName(name.substr(2));
    const char* charset = LocaleCharset();
    std::string wide;
    if (IsUTF8Charset(charset) || !ConvertCharset(name, charset, "UTF-8", wide))
        return name;
    return wide;
}

// ---- protocol operations

TUnicodeConnection::~TUnicodeConnection() {
    UnicodeClose(*this);
}

int UnicodeOpen(TUnicodeConnection& h, const std::string& url, int flags) {
    UnicodeClose(h);
    const std::string path = IsUnicodeURL(url) ? url.substr(UnicodeURLMarkerLength) : url;
    int oflags = O_CLOEXEC;
    if (flags & AVIO_FLAG_WRITE)
        oflags |= ((flags & AVIO_FLAG_READ) ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    else
        oflags |= O_RDONLY;
    int fd;
    // An open that a signal interrupted is tried again unless the program is stopping.
    do {
        fd = ::open(path.c_str(), oflags, 0666);
    } while (fd < 0 && errno == EINTR && InterruptCallback(nullptr) == 0);
    // Whatever made the open fail, the libraries hear "no such file" (AVERROR(ENOENT)), the
    // one error the callers expect of this protocol.
    if (fd < 0)
        return AVERROR(ENOENT);
    // A folder opens read-only on POSIX but is no file to read.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return AVERROR(ENOENT);
    }
    h.Handle = fd;
    return 0;
}

int UnicodeRead(TUnicodeConnection& h, unsigned char* buf, int size) {
    if (size < 0) {
        errno = EINVAL;
        return -1;
    }
    ssize_t n;
    do {
        n = ::read(h.Handle, buf, static_cast<size_t>(size));
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int>(n);
}

int UnicodeWrite(TUnicodeConnection& h, const unsigned char* buf, int size) {
    if (size < 0) {
        errno = EINVAL;
        return -1;
    }
    ssize_t n;
    do {
        n = ::write(h.Handle, buf, static_cast<size_t>(size));
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int>(n);
}

int64_t UnicodeSeek(TUnicodeConnection& h, int64_t pos, int whence) {
    if (whence == AVSEEK_SIZE) {
        struct stat st;
        return fstat(h.Handle, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
    }
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) {
        errno = EINVAL;
        return -1;
    }
    const off_t r = lseek(h.Handle, static_cast<off_t>(pos), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

int UnicodeClose(TUnicodeConnection& h) {
    if (h.Handle < 0)
        return 0;
    const int r = ::close(h.Handle);
    h.Handle = -1;
    return r;
}
