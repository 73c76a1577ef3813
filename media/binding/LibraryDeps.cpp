// Reads the direct dependencies (DT_NEEDED) of a 64-bit ELF shared library. Only the
// headers, the dynamic section and the string table are read, not the whole file.
#include "MyUtils.h"

#include <elf.h>

#include <cstring>
#include <fstream>

namespace {

class TElfReader {
public:
    explicit TElfReader(const std::string& path) : in_(path, std::ios::binary) {}

    template <typename T> bool Read(uint64_t offset, T& out) {
        return ReadBytes(offset, &out, sizeof(T));
    }
    bool ReadBytes(uint64_t offset, void* out, size_t size) {
        if (!in_)
            return false;
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
        if (in_.gcount() != static_cast<std::streamsize>(size)) {
            in_.clear();
            return false;
        }
        return true;
    }
    // A zero-terminated string at `offset` (at most 4096 bytes).
    std::string ReadString(uint64_t offset) {
        char buf[4096] = {};
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(buf, sizeof buf - 1);
        in_.clear();
        return std::string(buf, strnlen(buf, sizeof buf - 1));
    }

private:
    std::ifstream in_;
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
