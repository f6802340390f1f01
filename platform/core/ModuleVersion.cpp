#include "platform/core/ModuleVersion.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <vector>

namespace plat {

namespace {

bool ReadAt(int fd, uint64_t offset, void* buf, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = pread(fd, static_cast<char*>(buf) + done, size - done,
                          static_cast<off_t>(offset + done));
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

constexpr size_t kMaxStamp = 64;
constexpr uint64_t kMaxNames = 1 << 20;

} // namespace

bool ReadModuleVersion(const std::string& path, std::string* out) {
    if (!out) {
        return false;
    }
    out->clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool found = false;
    struct stat st {};
    Elf64_Ehdr eh{};
    if (fstat(fd, &st) == 0 && ReadAt(fd, 0, &eh, sizeof(eh)) &&
        std::memcmp(eh.e_ident, ELFMAG, SELFMAG) == 0 && eh.e_ident[EI_CLASS] == ELFCLASS64 &&
        eh.e_shentsize == sizeof(Elf64_Shdr) && eh.e_shstrndx < eh.e_shnum) {
        const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
        std::vector<Elf64_Shdr> sections(eh.e_shnum);
        Elf64_Shdr& names = sections[eh.e_shstrndx];
        if (eh.e_shoff <= fileSize &&
            sections.size() * sizeof(Elf64_Shdr) <= fileSize - eh.e_shoff &&
            ReadAt(fd, eh.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr)) &&
            names.sh_size < kMaxNames && names.sh_offset <= fileSize &&
            names.sh_size <= fileSize - names.sh_offset) {
            std::vector<char> nameTable(names.sh_size + 1, '\0');
            if (ReadAt(fd, names.sh_offset, nameTable.data(), names.sh_size)) {
                for (const Elf64_Shdr& sh : sections) {
                    if (sh.sh_name >= names.sh_size ||
                        std::strcmp(nameTable.data() + sh.sh_name, ".qv_version") != 0) {
                        continue;
                    }
                    char stamp[kMaxStamp + 1] = {};
                    size_t size = sh.sh_size < kMaxStamp ? sh.sh_size : kMaxStamp;
                    if (sh.sh_type == SHT_PROGBITS && sh.sh_offset <= fileSize &&
                        size <= fileSize - sh.sh_offset && ReadAt(fd, sh.sh_offset, stamp, size)) {
                        *out = stamp;
                        found = !out->empty();
                    }
                    break;
                }
            }
        }
    }
    close(fd);
    return found;
}

std::string ExecutablePath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

} // namespace plat
