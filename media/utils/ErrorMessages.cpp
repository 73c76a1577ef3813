// The fixed table of error texts behind FormatErrorMessage, and this platform's mapping of
// the codes it lacks: the libraries of today report a file they cannot read with tagged
// codes the table was made without (AVERROR_INVALIDDATA, AVERROR_EOF, AVERROR_EXIT, ...),
// where older ones used -22 and -32. Such a code takes FFmpeg's own text (av_strerror), so
// that the error of a broken file reads "Invalid data found when processing input" rather
// than "Error number -1094995529 occurred". A code FFmpeg has no text for either (zero, a
// positive value, a system number without a name) takes "Error number %d occurred".

#include <cerrno>
#include <cstdio>
#include <unordered_map>

#include "FFUtils.h"
#include "binding/AVUtilStubs.h"

namespace {

struct TErrorText {
    int Code;
    const char* Text;
};

// FFmpeg's tagged codes: the negation of a four-byte tag, first byte lowest.
static_assert(AVERROR_MUXER_NOT_FOUND == -1481985528);
static_assert(AVERROR_STREAM_NOT_FOUND == -1381258232);
static_assert(AVERROR_PROTOCOL_NOT_FOUND == -1330794744);
static_assert(AVERROR_DEMUXER_NOT_FOUND == -1296385272);
static_assert(AVERROR_FILTER_NOT_FOUND == -1279870712);
static_assert(AVERROR_BSF_NOT_FOUND == -1179861752);
static_assert(AVERROR_PATCHWELCOME == -1163346256);
static_assert(AVERROR_ENCODER_NOT_FOUND == -1129203192);
static_assert(AVERROR_DECODER_NOT_FOUND == -1128613112);

constexpr TErrorText TaggedErrors[] = {
    {AVERROR_MUXER_NOT_FOUND, "Muxer not found"},
    {AVERROR_STREAM_NOT_FOUND, "Stream not found"},
    {AVERROR_PROTOCOL_NOT_FOUND, "Protocol not found"},
    {AVERROR_DEMUXER_NOT_FOUND, "Demuxer not found"},
    {AVERROR_FILTER_NOT_FOUND, "Filter not found"},
    {AVERROR_BSF_NOT_FOUND, "Bitstream filter not found"},
    {AVERROR_PATCHWELCOME, "Not yet implemented in FFmpeg"},
    {AVERROR_ENCODER_NOT_FOUND, "Encoder not found"},
    {AVERROR_DECODER_NOT_FOUND, "Decoder not found"},
};

// Negated system error numbers, keyed by their symbolic names so that each text sits on the
// code FFmpeg returns for that condition here (AVERROR(ENOENT) and so on). The numbers are
// 1..131 without 41 and 58, which name no error. Three rows keep the texts of FFmpeg's
// early error codes that were built on these numbers: EPIPE "End of file", EDOM "Number
// syntax expected in filename" and 42 (ENOMSG here) "Unknown format".
static_assert(ENOENT == 2 && ENOMSG == 42 && EILSEQ == 84 && ENOTRECOVERABLE == 131);

constexpr TErrorText ErrnoErrors[] = {
    {AVERROR(EPERM), "Operation not permitted"},
    {AVERROR(ENOENT), "No such file or directory"},
    {AVERROR(ESRCH), "No such process"},
    {AVERROR(EINTR), "Interrupted function call"},
    {AVERROR(EIO), "I/O error"},
    {AVERROR(ENXIO), "No such device or address"},
    {AVERROR(E2BIG), "Argument list too long"},
    {AVERROR(ENOEXEC), "Exec format error"},
    {AVERROR(EBADF), "Bad file number"},
    {AVERROR(ECHILD), "No child processes"},
    {AVERROR(EAGAIN), "Resource temporarily unavailable / Try again"},
    {AVERROR(ENOMEM), "Not enough space / Out of memory"},
    {AVERROR(EACCES), "Permission denied"},
    {AVERROR(EFAULT), "Bad address"},
    {AVERROR(ENOTBLK), "Block device required"},
    {AVERROR(EBUSY), "Device or resource busy"},
    {AVERROR(EEXIST), "File exists"},
    {AVERROR(EXDEV), "Cross-device link"},
    {AVERROR(ENODEV), "No such device"},
    {AVERROR(ENOTDIR), "Not a directory"},
    {AVERROR(EISDIR), "Is a directory"},
    {AVERROR(EINVAL), "Invalid argument / Invalid data found when processing input"},
    {AVERROR(ENFILE), "Too many open files in system / File table overflow"},
    {AVERROR(EMFILE), "Too many open files"},
    {AVERROR(ENOTTY), "Inappropriate I/O control operation / Not a typewriter"},
    {AVERROR(ETXTBSY), "Text file busy"},
    {AVERROR(EFBIG), "File too large"},
    {AVERROR(ENOSPC), "No space left on device"},
    {AVERROR(ESPIPE), "Illegal seek"},
    {AVERROR(EROFS), "Read-only file system"},
    {AVERROR(EMLINK), "Too many links"},
    {AVERROR(EPIPE), "End of file"},
    {AVERROR(EDOM), "Number syntax expected in filename"},
    {AVERROR(ERANGE), "Math result not representable"},
    {AVERROR(EDEADLK), "Resource deadlock would occur"},
    {AVERROR(ENAMETOOLONG), "File name too long"},
    {AVERROR(ENOLCK), "No record locks available"},
    {AVERROR(ENOSYS), "Function not implemented"},
    {AVERROR(ENOTEMPTY), "Directory not empty"},
    {AVERROR(ELOOP), "Too many symbolic links encountered"},
    {AVERROR(ENOMSG), "Unknown format"},
    {AVERROR(EIDRM), "Identifier removed"},
    {AVERROR(ECHRNG), "Channel number out of range"},
    {AVERROR(EL2NSYNC), "Level 2 not synchronized"},
    {AVERROR(EL3HLT), "Level 3 halted"},
    {AVERROR(EL3RST), "Level 3 reset"},
    {AVERROR(ELNRNG), "Link number out of range"},
    {AVERROR(EUNATCH), "Protocol driver not attached"},
    {AVERROR(ENOCSI), "No CSI structure available"},
    {AVERROR(EL2HLT), "Level 2 halted"},
    {AVERROR(EBADE), "Invalid exchange"},
    {AVERROR(EBADR), "Invalid request descriptor"},
    {AVERROR(EXFULL), "Exchange full"},
    {AVERROR(ENOANO), "No anode"},
    {AVERROR(EBADRQC), "Invalid request code"},
    {AVERROR(EBADSLT), "Invalid slot"},
    {AVERROR(EBFONT), "Bad font file format"},
    {AVERROR(ENOSTR), "Device not a stream"},
    {AVERROR(ENODATA), "No data available"},
    {AVERROR(ETIME), "Timer expired"},
    {AVERROR(ENOSR), "Out of streams resources"},
    {AVERROR(ENONET), "Machine is not on the network"},
    {AVERROR(ENOPKG), "Package not installed"},
    {AVERROR(EREMOTE), "Object is remote"},
    {AVERROR(ENOLINK), "Link has been severed"},
    {AVERROR(EADV), "Advertise error"},
    {AVERROR(ESRMNT), "Srmount error"},
    {AVERROR(ECOMM), "Communication error on send"},
    {AVERROR(EPROTO), "Protocol error"},
    {AVERROR(EMULTIHOP), "Multihop attempted"},
    {AVERROR(EDOTDOT), "RFS specific error"},
    {AVERROR(EBADMSG), "Not a data message"},
    {AVERROR(EOVERFLOW), "Value too large for defined data type"},
    {AVERROR(ENOTUNIQ), "Name not unique on network"},
    {AVERROR(EBADFD), "File descriptor in bad state"},
    {AVERROR(EREMCHG), "Remote address changed"},
    {AVERROR(ELIBACC), "Can not access a needed shared library"},
    {AVERROR(ELIBBAD), "Accessing a corrupted shared library"},
    {AVERROR(ELIBSCN), ".lib section in a.out corrupted"},
    {AVERROR(ELIBMAX), "Attempting to link in too many shared libraries"},
    {AVERROR(ELIBEXEC), "Cannot exec a shared library directly"},
    {AVERROR(EILSEQ), "Illegal byte sequence"},
    {AVERROR(ERESTART), "Interrupted system call should be restarted"},
    {AVERROR(ESTRPIPE), "Streams pipe error"},
    {AVERROR(EUSERS), "Too many users"},
    {AVERROR(ENOTSOCK), "Socket operation on non-socket"},
    {AVERROR(EDESTADDRREQ), "Destination address required"},
    {AVERROR(EMSGSIZE), "Message too long"},
    {AVERROR(EPROTOTYPE), "Protocol wrong type for socket"},
    {AVERROR(ENOPROTOOPT), "Protocol not available"},
    {AVERROR(EPROTONOSUPPORT), "Protocol not supported"},
    {AVERROR(ESOCKTNOSUPPORT), "Socket type not supported"},
    {AVERROR(EOPNOTSUPP), "Operation not supported on transport endpoint"},
    {AVERROR(EPFNOSUPPORT), "Protocol family not supported"},
    {AVERROR(EAFNOSUPPORT), "Address family not supported by protocol"},
    {AVERROR(EADDRINUSE), "Address already in use"},
    {AVERROR(EADDRNOTAVAIL), "Cannot assign requested address"},
    {AVERROR(ENETDOWN), "Network is down"},
    {AVERROR(ENETUNREACH), "Network is unreachable"},
    {AVERROR(ENETRESET), "Network dropped connection because of reset"},
    {AVERROR(ECONNABORTED), "Software caused connection abort"},
    {AVERROR(ECONNRESET), "Connection reset by peer"},
    {AVERROR(ENOBUFS), "No buffer space available"},
    {AVERROR(EISCONN), "Transport endpoint is already connected"},
    {AVERROR(ENOTCONN), "Transport endpoint is not connected"},
    {AVERROR(ESHUTDOWN), "Cannot send after transport endpoint shutdown"},
    {AVERROR(ETOOMANYREFS), "Too many references: cannot splice"},
    {AVERROR(ETIMEDOUT), "Connection timed out"},
    {AVERROR(ECONNREFUSED), "Connection refused"},
    {AVERROR(EHOSTDOWN), "Host is down"},
    {AVERROR(EHOSTUNREACH), "No route to host"},
    {AVERROR(EALREADY), "Operation already in progress"},
    {AVERROR(EINPROGRESS), "Operation now in progress"},
    {AVERROR(ESTALE), "Stale NFS file handle"},
    {AVERROR(EUCLEAN), "Structure needs cleaning"},
    {AVERROR(ENOTNAM), "Not a XENIX named type file"},
    {AVERROR(ENAVAIL), "No XENIX semaphores available"},
    {AVERROR(EISNAM), "Is a named type file"},
    {AVERROR(EREMOTEIO), "Remote I/O error"},
    {AVERROR(EDQUOT), "Quota exceeded"},
    {AVERROR(ENOMEDIUM), "No medium found"},
    {AVERROR(EMEDIUMTYPE), "Wrong medium type"},
    {AVERROR(ECANCELED), "Operation Canceled"},
    {AVERROR(ENOKEY), "Required key not available"},
    {AVERROR(EKEYEXPIRED), "Key has expired"},
    {AVERROR(EKEYREVOKED), "Key has been revoked"},
    {AVERROR(EKEYREJECTED), "Key was rejected by service"},
    {AVERROR(EOWNERDEAD), "Owner died"},
    {AVERROR(ENOTRECOVERABLE), "State not recoverable"},
};

// Negated Windows Sockets error numbers. No call returns them on this system; they stay in
// the table because codes are looked up by number, so a code met elsewhere (a log line, a
// number a user types in) still reads. They cannot collide with a system error number here,
// which all lie far below 10000.
struct TSocketAlias {
    int First; // first code of a run of consecutive codes
    int Last;
    int SameAsFirst; // table code whose text the first code shares; the run counts down
};

constexpr TSocketAlias SocketAliases[] = {
    {-10004, -10004, AVERROR(EINTR)},        // WSAEINTR
    {-10009, -10009, AVERROR(EBADF)},        // WSAEBADF
    {-10013, -10013, AVERROR(EACCES)},       // WSAEACCES
    {-10014, -10014, AVERROR(EFAULT)},       // WSAEFAULT
    {-10022, -10022, AVERROR(EINVAL)},       // WSAEINVAL
    {-10024, -10024, AVERROR(EMFILE)},       // WSAEMFILE
    {-10036, -10036, AVERROR(EINPROGRESS)},  // WSAEINPROGRESS
    {-10037, -10037, AVERROR(EALREADY)},     // WSAEALREADY
    {-10038, -10061, AVERROR(ENOTSOCK)},     // WSAENOTSOCK .. WSAECONNREFUSED
    {-10062, -10062, AVERROR(ELOOP)},        // WSAELOOP
    {-10063, -10063, AVERROR(ENAMETOOLONG)}, // WSAENAMETOOLONG
    {-10064, -10064, AVERROR(EHOSTDOWN)},    // WSAEHOSTDOWN
    {-10065, -10065, AVERROR(EHOSTUNREACH)}, // WSAEHOSTUNREACH
    {-10066, -10066, AVERROR(ENOTEMPTY)},    // WSAENOTEMPTY
    {-10068, -10068, AVERROR(EUSERS)},       // WSAEUSERS
    {-10069, -10069, AVERROR(EDQUOT)},       // WSAEDQUOT
    {-10070, -10070, AVERROR(ESTALE)},       // WSAESTALE
    {-10071, -10071, AVERROR(EREMOTE)},      // WSAEREMOTE
};
static_assert(ENOTSOCK == 88 && ECONNREFUSED == 111); // the run -10038..-10061 is 88..111

constexpr TErrorText SocketErrors[] = {
    {-10035, "WSAEWOULDBLOCK"},
    {-10067, "WSAEPROCLIM"},
    {-10091, "WSASYSNOTREADY"},
    {-10092, "WSAVERNOTSUPPORTED"},
    {-10093, "WSANOTINITIALISED"},
    {-10101, "WSAEDISCON"},
    {-10102, "WSAENOMORE"},
    {-10103, "WSAECANCELLED"},
    {-10104, "WSAEINVALIDPROCTABLE"},
    {-10105, "WSAEINVALIDPROVIDER"},
    {-10106, "WSAEPROVIDERFAILEDINIT"},
    {-10107, "WSASYSCALLFAILURE"},
    {-10108, "WSASERVICE_NOT_FOUND"},
    {-10109, "WSATYPE_NOT_FOUND"},
    {-10110, "WSA_E_NO_MORE"},
    {-10111, "WSA_E_CANCELLED"},
    {-10112, "WSAEREFUSED"},
    {-11001, "WSAHOST_NOT_FOUND"},
    {-11002, "WSATRY_AGAIN"},
    {-11003, "WSANO_RECOVERY"},
    {-11004, "WSANO_DATA"},
};

using TErrorTable = std::unordered_map<int, const char*>;

TErrorTable BuildErrorTable() {
    TErrorTable table;
    for (const auto& e : TaggedErrors)
        table.emplace(e.Code, e.Text);
    for (const auto& e : ErrnoErrors)
        table.emplace(e.Code, e.Text);
    for (const auto& a : SocketAliases)
        for (int code = a.First; code >= a.Last; --code)
            table.emplace(code, table.at(a.SameAsFirst - (a.First - code)));
    for (const auto& e : SocketErrors)
        table.emplace(e.Code, e.Text);
    return table;
}

const TErrorTable& ErrorTable() {
    static const TErrorTable table = BuildErrorTable();
    return table;
}

std::string DefaultErrorText(int code) {
    char text[64];
    std::snprintf(text, sizeof text, "Error number %d occurred", code);
    return text;
}

// FFmpeg's text for a negative code it knows (its own tags and the system's error numbers).
bool FFmpegErrorText(int code, std::string& text) {
    if (code >= 0 || ff::av_strerror == nullptr)
        return false;
    char buf[AV_ERROR_MAX_STRING_SIZE * 2] = {};
    if (ff::av_strerror(code, buf, sizeof buf) < 0)
        return false;
    text = buf;
    return true;
}

} // namespace

std::string ErrorCodeText(int code) {
    const TErrorTable& table = ErrorTable();
    if (auto it = table.find(code); it != table.end())
        return it->second;
    std::string text;
    if (FFmpegErrorText(code, text))
        return text;
    return DefaultErrorText(code);
}

std::string FormatErrorMessage(const std::string& prefix, int code) {
    return prefix + ": " + ErrorCodeText(code);
}

size_t ErrorCodeTableSize() {
    return ErrorTable().size();
}
