#include "platform/res/ResourceModule.h"
#include "platform/core/ByteOrder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <utility>

namespace plat {

namespace {

// PE layout figures.
constexpr size_t kDosHeaderSize = 64;
constexpr size_t kPeOffsetField = 0x3C;
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr size_t kResDirHeaderSize = 16;
constexpr size_t kResDirEntrySize = 8;
constexpr size_t kResDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint32_t kStringsPerBlock = 16;

// True when [offset, offset + length) lies inside `size` bytes.
bool Inside(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

void AppendUtf8(uint32_t cp, std::string* out) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// `count` UTF-16LE units at `p` to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const uint8_t* p, uint32_t count) {
    std::string out;
    out.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t unit = plat::ReadLe16(p + 2 * i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
            uint32_t low = plat::ReadLe16(p + 2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &out);
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = 0xFFFD;
        }
        AppendUtf8(unit, &out);
    }
    return out;
}

} // namespace

bool ResourceModule::LoadFromFile(const std::string& path, size_t maxSize) {
    Free();
    // Non-blocking, so a FIFO given as a skin is refused below instead of waiting for a writer.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return Fail("cannot open " + path + ": " + std::strerror(errno));
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return Fail("not a regular file: " + path);
    }
    if (static_cast<uint64_t>(st.st_size) > std::min(maxSize, kMaxFileSize)) {
        close(fd);
        return Fail("file too large: " + path);
    }
    std::vector<uint8_t> data(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = read(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            close(fd);
            return Fail("cannot read " + path);
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
    owned_ = std::move(data);
    bytes_ = owned_.data();
    size_ = owned_.size();
    if (!Parse()) {
        return false;
    }
    path_ = path;
    return true;
}

bool ResourceModule::LoadFromBytes(const void* data, size_t size) {
    Free();
    if (!data || size == 0) {
        return Fail("no bytes");
    }
    if (size > kMaxFileSize) {
        return Fail("module too large");
    }
    const auto* p = static_cast<const uint8_t*>(data);
    owned_.assign(p, p + size);
    bytes_ = owned_.data();
    size_ = owned_.size();
    return Parse();
}

bool ResourceModule::LoadFromStaticBytes(const void* data, size_t size) {
    Free();
    if (!data || size == 0) {
        return Fail("no bytes");
    }
    bytes_ = static_cast<const uint8_t*>(data);
    size_ = size;
    return Parse();
}

void ResourceModule::Free() {
    owned_.clear();
    owned_.shrink_to_fit();
    bytes_ = nullptr;
    size_ = 0;
    sections_.clear();
    resources_ = nullptr;
    resourcesSize_ = 0;
    path_.clear();
}

bool ResourceModule::Fail(const std::string& why) {
    Free();
    error_ = why;
    return false;
}

bool ResourceModule::Parse() {
    error_.clear();
    const uint8_t* b = bytes_;
    if (size_ < kDosHeaderSize || b[0] != 'M' || b[1] != 'Z') {
        return Fail("not a module (no MZ header)");
    }
    uint32_t pe = plat::ReadLe32(b + kPeOffsetField);
    if (!Inside(pe, 4 + kCoffHeaderSize, size_) || std::memcmp(b + pe, "PE\0\0", 4) != 0) {
        return Fail("not a PE module");
    }
    const uint8_t* coff = b + pe + 4;
    uint16_t sectionCount = plat::ReadLe16(coff + 2);
    uint16_t optionalSize = plat::ReadLe16(coff + 16);
    uint64_t optional = uint64_t{pe} + 4 + kCoffHeaderSize;
    if (!Inside(optional, optionalSize, size_) || optionalSize < 2) {
        return Fail("optional header outside the file");
    }
    const uint8_t* opt = b + optional;
    uint32_t countField = 0;
    uint32_t directories = 0;
    switch (plat::ReadLe16(opt)) {
    case kMagicPe32:
        countField = 92;
        directories = 96;
        break;
    case kMagicPe32Plus:
        countField = 108;
        directories = 112;
        break;
    default:
        return Fail("unknown optional header");
    }

    uint64_t sectionTable = optional + optionalSize;
    if (!Inside(sectionTable, uint64_t{sectionCount} * kSectionHeaderSize, size_)) {
        return Fail("section table outside the file");
    }
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const uint8_t* s = b + sectionTable + uint64_t{i} * kSectionHeaderSize;
        uint32_t virtualSize = plat::ReadLe32(s + 8);
        uint32_t rawSize = plat::ReadLe32(s + 16);
        uint32_t fileOffset = plat::ReadLe32(s + 20);
        if (fileOffset >= size_) {
            continue; // no raw data in the file: nothing of it can be read
        }
        uint64_t size = rawSize;
        if (virtualSize != 0 && virtualSize < size) {
            size = virtualSize; // bytes past the virtual size are not part of the image
        }
        size = std::min<uint64_t>(size, size_ - fileOffset);
        sections_.push_back({plat::ReadLe32(s + 12), static_cast<uint32_t>(size), fileOffset});
    }

    // A module without a resource directory is valid and has no resources.
    uint64_t entry = uint64_t{directories} + uint64_t{kResourceDirectoryIndex} * 8;
    if (uint64_t{countField} + 4 > optionalSize || plat::ReadLe32(opt + countField) <= 2 ||
        entry + 8 > optionalSize) {
        return true;
    }
    uint32_t rva = plat::ReadLe32(opt + entry);
    uint32_t size = plat::ReadLe32(opt + entry + 4);
    if (rva == 0 || size == 0) {
        return true;
    }
    resources_ = MapRva(rva, size);
    if (!resources_) {
        return Fail("resource directory outside the module's sections");
    }
    resourcesSize_ = size;
    Directory root;
    if (!ReadDirectory(0, &root)) {
        return Fail("resource root directory is damaged");
    }
    return true;
}

const uint8_t* ResourceModule::MapRva(uint32_t rva, uint32_t length) const {
    for (const Section& s : sections_) {
        if (rva < s.virtualAddress) {
            continue;
        }
        uint64_t offset = uint64_t{rva} - s.virtualAddress;
        if (Inside(offset, length, s.size)) {
            return bytes_ + s.fileOffset + offset;
        }
    }
    return nullptr;
}

bool ResourceModule::ReadDirectory(uint32_t offset, Directory* dir) const {
    if (!Inside(offset, kResDirHeaderSize, resourcesSize_)) {
        return false;
    }
    const uint8_t* p = resources_ + offset;
    uint32_t count = uint32_t{plat::ReadLe16(p + 12)} + plat::ReadLe16(p + 14);
    uint64_t entries = uint64_t{offset} + kResDirHeaderSize;
    if (!Inside(entries, uint64_t{count} * kResDirEntrySize, resourcesSize_)) {
        return false;
    }
    dir->entries = static_cast<uint32_t>(entries);
    dir->count = count;
    return true;
}

bool ResourceModule::FindEntry(const Directory& dir, uint32_t id, uint32_t* target,
                               bool* isDirectory) const {
    for (uint32_t i = 0; i < dir.count; ++i) {
        const uint8_t* e = resources_ + dir.entries + i * kResDirEntrySize;
        uint32_t name = plat::ReadLe32(e);
        if ((name & kHighBit) != 0 || name != id) {
            continue; // a named entry, or another id
        }
        uint32_t offset = plat::ReadLe32(e + 4);
        *isDirectory = (offset & kHighBit) != 0;
        *target = offset & ~kHighBit;
        return true;
    }
    return false;
}

ResourceModule::Lookup ResourceModule::Find(uint32_t type, uint32_t id,
                                            std::span<const uint8_t>* data) const {
    *data = {};
    if (!resources_ || (type & kHighBit) != 0 || (id & kHighBit) != 0) {
        return Lookup::NotFound;
    }
    // Type level, then id level: both must lead to directories. The depth is fixed, so a
    // directory that points back at an earlier one cannot make the walk loop.
    Directory dir;
    if (!ReadDirectory(0, &dir)) {
        return Lookup::BadData;
    }
    uint32_t target = 0;
    bool isDirectory = false;
    for (uint32_t key : {type, id}) {
        if (!FindEntry(dir, key, &target, &isDirectory)) {
            return Lookup::NotFound;
        }
        if (!isDirectory || !ReadDirectory(target, &dir)) {
            return Lookup::BadData;
        }
    }
    return FirstLanguage(dir, data);
}

ResourceModule::Lookup ResourceModule::FirstLanguage(const Directory& dir,
                                                     std::span<const uint8_t>* data) const {
    // The first entry that is a data entry.
    for (uint32_t i = 0; i < dir.count; ++i) {
        const uint8_t* e = resources_ + dir.entries + i * kResDirEntrySize;
        uint32_t offset = plat::ReadLe32(e + 4);
        if ((offset & kHighBit) != 0) {
            continue;
        }
        if (!Inside(offset, kResDataEntrySize, resourcesSize_)) {
            return Lookup::BadData;
        }
        const uint8_t* entry = resources_ + offset;
        uint32_t rva = plat::ReadLe32(entry);
        uint32_t size = plat::ReadLe32(entry + 4);
        const uint8_t* bytes = MapRva(rva, size);
        if (!bytes) {
            return Lookup::BadData;
        }
        *data = std::span<const uint8_t>(bytes, size);
        return Lookup::Found;
    }
    return dir.count == 0 ? Lookup::NotFound : Lookup::BadData;
}

void ResourceModule::ForEach(
    uint32_t type,
    const std::function<void(uint32_t id, std::span<const uint8_t> data)>& visit) const {
    ForEachEntry(type, [&visit](uint32_t id, Lookup lookup, std::span<const uint8_t> data) {
        if (lookup == Lookup::Found) {
            visit(id, data);
        }
    });
}

void ResourceModule::ForEachEntry(
    uint32_t type,
    const std::function<void(uint32_t id, Lookup lookup, std::span<const uint8_t> data)>& visit)
    const {
    Directory types;
    Directory ids;
    uint32_t target = 0;
    bool isDirectory = false;
    if (!resources_ || (type & kHighBit) != 0 || !ReadDirectory(0, &types) ||
        !FindEntry(types, type, &target, &isDirectory) || !isDirectory ||
        !ReadDirectory(target, &ids)) {
        return;
    }
    // Ids may share a language directory: each one is searched once, so the walk stays
    // linear in the directory's size however the entries point.
    std::unordered_map<uint32_t, std::pair<Lookup, std::span<const uint8_t>>> languages;
    for (uint32_t i = 0; i < ids.count; ++i) {
        const uint8_t* e = resources_ + ids.entries + i * kResDirEntrySize;
        const uint32_t id = plat::ReadLe32(e);
        const uint32_t offset = plat::ReadLe32(e + 4);
        if ((id & kHighBit) != 0) {
            continue;
        }
        if ((offset & kHighBit) == 0) {
            visit(id, Lookup::BadData, {}); // an id's entry must lead to its languages
            continue;
        }
        auto [at, fresh] =
            languages.try_emplace(offset, Lookup::BadData, std::span<const uint8_t>{});
        if (fresh) {
            Directory dir;
            if (ReadDirectory(offset & ~kHighBit, &dir)) {
                at->second.first = FirstLanguage(dir, &at->second.second);
            }
        }
        visit(id, at->second.first, at->second.second);
    }
}

bool ResourceModule::LoadString(uint32_t id, std::string* text) const {
    text->clear();
    if (id > 0xFFFF) {
        return false;
    }
    std::span<const uint8_t> block;
    if (Find(kResourceString, id / kStringsPerBlock + 1, &block) != Lookup::Found) {
        return false;
    }
    size_t pos = 0;
    for (uint32_t i = 0; i <= id % kStringsPerBlock; ++i) {
        if (!Inside(pos, 2, block.size())) {
            return false;
        }
        uint32_t length = plat::ReadLe16(block.data() + pos);
        pos += 2;
        if (!Inside(pos, uint64_t{length} * 2, block.size())) {
            return false;
        }
        if (i == id % kStringsPerBlock) {
            *text = Utf16ToUtf8(block.data() + pos, length);
            return !text->empty();
        }
        pos += size_t{length} * 2;
    }
    return false;
}

} // namespace plat
