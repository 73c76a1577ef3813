#include "UnicodeProtocol.h"

#include <cerrno>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <string_view>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

namespace {

// Prefixes (text before the first ':', exact case) of names that are library URLs and are
// handed over as they stand: the marker's own protocol, the network protocols the program
// was first built with, and the URL schemes the libraries have gained since (https, ...),
// whose names the locale's character set cannot mark either.
constexpr std::string_view KnownProtocolPrefixes[] = {
    "unicode", "stream", "gopher", "http", "pipe",  "rtp",  "tcp", "udp",
    "https",   "tls",    "ftp",    "rtmp", "rtmps", "rtsp", "srt", "file",
};

bool HasKnownProtocolPrefix(const std::string& name) {
    const size_t colon = name.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string_view prefix(name.data(), colon);
    for (std::string_view known : KnownProtocolPrefixes) {
        if (prefix == known)
            return true;
    }
    return false;
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

bool NeedsUnicodeProtocol(const std::string& name) {
    if (HasKnownProtocolPrefix(name))
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
    const char* charset = LocaleCharset();
    std::string local;
    if (IsUTF8Charset(charset) || !ConvertCharset(name, "UTF-8", charset, local))
        return name; // a protocol URL the character set cannot hold goes as it is
    return local;
}

bool IsUnicodeURL(const std::string& name) {
    return name.size() > UnicodeURLMarkerLength &&
           name.compare(0, UnicodeURLMarkerLength, UnicodeURLMarker) == 0;
}

std::string URLToFileName(const std::string& name) {
    if (IsUnicodeURL(name))
        return name.substr(UnicodeURLMarkerLength);
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
    do {
        fd = ::open(path.c_str(), oflags, 0666);
    } while (fd < 0 && errno == EINTR);
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
