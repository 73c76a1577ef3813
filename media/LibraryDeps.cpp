// Reads the direct dependencies (DT_NEEDED) of a 64-bit ELF shared library.
#include "MyUtils.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

template <typename T> bool ReadAt(const std::string& data, uint64_t offset, T& out) {
    if (offset > data.size() || data.size() - offset < sizeof(T))
        return false;
    std::memcpy(&out, data.data() + offset, sizeof(T));
    return true;
}

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
    std::ifstream in(path, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Elf64_Ehdr eh{};
    if (!ReadAt(data, 0, eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 ||
        eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_phentsize != sizeof(Elf64_Phdr))
        return {};

    std::vector<Elf64_Phdr> segments(eh.e_phnum);
    const Elf64_Phdr* dynamic = nullptr;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (!ReadAt(data, eh.e_phoff + i * sizeof(Elf64_Phdr), segments[i]))
            return {};
    }
    for (const Elf64_Phdr& ph : segments)
        if (ph.p_type == PT_DYNAMIC)
            dynamic = &ph;
    if (!dynamic)
        return {};

    std::vector<uint64_t> neededOffsets;
    uint64_t strtabAddr = 0;
    for (uint64_t off = dynamic->p_offset;
         off + sizeof(Elf64_Dyn) <= dynamic->p_offset + dynamic->p_filesz;
         off += sizeof(Elf64_Dyn)) {
        Elf64_Dyn d{};
        if (!ReadAt(data, off, d) || d.d_tag == DT_NULL)
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
        if (strtab + n >= data.size())
            continue;
        const char* s = data.data() + strtab + n;
        names.emplace_back(s, strnlen(s, data.size() - strtab - n));
    }
    return names;
}
