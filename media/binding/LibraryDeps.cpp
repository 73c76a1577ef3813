// Reads the direct dependencies (DT_NEEDED) of a 64-bit ELF shared library. Only the
// headers, the dynamic section and the string table are read, not the whole file.
#include "MyUtils.h"

#include <elf.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// Reads through one window of the file: the headers, the dynamic section and the strings each
// lie in one window, so a library costs a few reads instead of a seek and a read per field.
class TElfReader {
public:
    explicit TElfReader(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~TElfReader() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TElfReader(const TElfReader&) = delete;
    TElfReader& operator=(const TElfReader&) = delete;

    template <typename T> bool Read(uint64_t offset, T& out) {
        return ReadBytes(offset, &out, sizeof(T)) == sizeof(T);
    }
    // A zero-terminated string at `offset` (at most 4096 bytes).
    std::string ReadString(uint64_t offset) {
        char buf[4096] = {};
        const size_t n = ReadBytes(offset, buf, sizeof buf - 1);
        return std::string(buf, strnlen(buf, n));
    }

private:
    static constexpr size_t WindowSize = 64 * 1024;

    // Copies up to `size` bytes at `offset`: the count copied (less at the end of the file).
    size_t ReadBytes(uint64_t offset, void* out, size_t size) {
        size_t done = 0;
        while (done < size) {
            const uint64_t at = offset + done;
            if (at < windowStart_ || at >= windowStart_ + window_.size()) {
                if (!Fill(at))
                    break;
            }
            const size_t from = static_cast<size_t>(at - windowStart_);
            const size_t n = std::min(size - done, window_.size() - from);
            std::memcpy(static_cast<char*>(out) + done, window_.data() + from, n);
            done += n;
        }
        return done;
    }
    bool Fill(uint64_t offset) {
        window_.resize(WindowSize);
        ssize_t n;
        do {
            n = ::pread(fd_, window_.data(), WindowSize, static_cast<off_t>(offset));
        } while (n < 0 && errno == EINTR);
        window_.resize(n > 0 ? static_cast<size_t>(n) : 0);
        windowStart_ = offset;
        return !window_.empty();
    }

    int fd_;
    std::vector<char> window_;
    uint64_t windowStart_ = 0;
};

// Maps a virtual address to a file offset through the loadable segments.
bool AddressToOffset(const std::vector<Elf64_Phdr>& segments, uint64_t addr, uint64_t& offset) {
    for (const Elf64_Phdr& ph : segments) {
        if (ph.p_type == PT_LOAD && addr >= ph.p_vaddr && addr < ph.p_vaddr + ph.p_filesz) {
            offset = addr - ph.p_vaddr + ph.p_offset;
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<std::string> NeededLibraries(const std::string& path) {
    TElfReader elf(path);
    Elf64_Ehdr eh{};
    if (!elf.Read(0, eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 ||
        eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_phentsize != sizeof(Elf64_Phdr) ||
        eh.e_phnum > 4096)
        return {};

    std::vector<Elf64_Phdr> segments(eh.e_phnum);
    const Elf64_Phdr* dynamic = nullptr;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (!elf.Read(eh.e_phoff + i * sizeof(Elf64_Phdr), segments[i]))
            return {};
        if (segments[i].p_type == PT_DYNAMIC)
            dynamic = &segments[i];
    }
    if (!dynamic || dynamic->p_filesz > (1u << 20))
        return {};

    std::vector<uint64_t> neededOffsets;
    uint64_t strtabAddr = 0;
    for (uint64_t off = 0; off + sizeof(Elf64_Dyn) <= dynamic->p_filesz; off += sizeof(Elf64_Dyn)) {
        Elf64_Dyn d{};
        if (!elf.Read(dynamic->p_offset + off, d) || d.d_tag == DT_NULL)
            break;
        if (d.d_tag == DT_NEEDED)
            neededOffsets.push_back(d.d_un.d_val);
        else if (d.d_tag == DT_STRTAB)
            strtabAddr = d.d_un.d_ptr;
    }
    uint64_t strtab = 0;
    if (!AddressToOffset(segments, strtabAddr, strtab))
        return {};

    std::vector<std::string> names;
    for (uint64_t n : neededOffsets) {
        std::string name = elf.ReadString(strtab + n);
        if (!name.empty())
            names.push_back(std::move(name));
    }
    return names;
}
