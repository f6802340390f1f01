#pragma once
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

// Builds small PE32+ images with a resource section, for tests that need to damage a module at
// known places. Layout: headers, one section ".rsrc" at RVA 0x1000 and file offset 0x200
// holding the root directory, the type and id directories, the data entries and the data.
namespace testpe {

struct Resource {
    uint32_t type;
    uint32_t id;
    uint32_t language;
    std::vector<uint8_t> data;
    // Bytes of padding before the data, which otherwise starts 8-byte aligned.
    uint32_t misalign = 0;
};

struct Image {
    std::vector<uint8_t> bytes;
    static constexpr size_t kOptional = 0x58;      // file offset of the optional header
    static constexpr size_t kSection = 0x58 + 240; // file offset of the section header
    static constexpr size_t kResources = 0x200;    // file offset of the root directory
    static constexpr uint32_t kRva = 0x1000;
    std::vector<size_t> dataEntries; // file offset of each resource's data entry, input order

    void Put32(size_t offset, uint32_t v) { std::memcpy(&bytes[offset], &v, 4); }
    void Put16(size_t offset, uint16_t v) { std::memcpy(&bytes[offset], &v, 2); }
    uint32_t Get32(size_t offset) const {
        uint32_t v;
        std::memcpy(&v, &bytes[offset], 4);
        return v;
    }
};

inline Image Build(const std::vector<Resource>& resources) {
    Image img;
    // Tree: type -> id -> indexes of the resources (one per language).
    std::map<uint32_t, std::map<uint32_t, std::vector<size_t>>> tree;
    for (size_t i = 0; i < resources.size(); ++i) {
        tree[resources[i].type][resources[i].id].push_back(i);
    }
    std::vector<uint8_t> area;
    auto put32 = [&area](size_t at, uint32_t v) { std::memcpy(&area[at], &v, 4); };
    auto dir = [&area, &put32](size_t entries) {
        size_t at = area.size();
        area.resize(at + 16 + 8 * entries, 0);
        put32(at + 12, static_cast<uint32_t>(entries) << 16); // all entries are id entries
        return at;
    };
    const size_t root = dir(tree.size());
    std::vector<size_t> dataEntryAt(resources.size());
    std::vector<std::pair<size_t, size_t>> langSlots; // (entry offset, resource index)
    size_t t = 0;
    for (auto& [type, ids] : tree) {
        size_t typeDir = dir(ids.size());
        put32(root + 16 + 8 * t, type);
        put32(root + 16 + 8 * t + 4, 0x80000000u | static_cast<uint32_t>(typeDir));
        size_t n = 0;
        for (auto& [id, list] : ids) {
            size_t idDir = dir(list.size());
            put32(typeDir + 16 + 8 * n, id);
            put32(typeDir + 16 + 8 * n + 4, 0x80000000u | static_cast<uint32_t>(idDir));
            for (size_t k = 0; k < list.size(); ++k) {
                put32(idDir + 16 + 8 * k, resources[list[k]].language);
                langSlots.push_back({idDir + 16 + 8 * k + 4, list[k]});
            }
            ++n;
        }
        ++t;
    }
    for (auto& [slot, index] : langSlots) {
        size_t entry = area.size();
        area.resize(entry + 16, 0);
        put32(slot, static_cast<uint32_t>(entry));
        dataEntryAt[index] = entry;
    }
    for (size_t i = 0; i < resources.size(); ++i) {
        while (area.size() % 8 != 0) {
            area.push_back(0);
        }
        area.resize(area.size() + resources[i].misalign, 0);
        size_t at = area.size();
        area.insert(area.end(), resources[i].data.begin(), resources[i].data.end());
        put32(dataEntryAt[i], Image::kRva + static_cast<uint32_t>(at));
        put32(dataEntryAt[i] + 4, static_cast<uint32_t>(resources[i].data.size()));
        img.dataEntries.push_back(Image::kResources + dataEntryAt[i]);
    }
    const auto areaSize = static_cast<uint32_t>(area.size());
    const uint32_t rawSize = (areaSize + 0x1FF) & ~0x1FFu;

    img.bytes.assign(Image::kResources + rawSize, 0);
    img.bytes[0] = 'M';
    img.bytes[1] = 'Z';
    img.Put32(0x3C, 0x40);
    std::memcpy(&img.bytes[0x40], "PE\0\0", 4);
    img.Put16(0x44, 0x8664); // machine
    img.Put16(0x46, 1);      // sections
    img.Put16(0x54, 240);    // optional header size
    img.Put16(0x56, 0x2022); // DLL, executable image
    img.Put16(Image::kOptional, 0x20B);
    img.Put32(Image::kOptional + 108, 16); // data directories
    img.Put32(Image::kOptional + 112 + 16, Image::kRva);
    img.Put32(Image::kOptional + 112 + 20, areaSize);
    std::memcpy(&img.bytes[Image::kSection], ".rsrc", 5);
    img.Put32(Image::kSection + 8, areaSize);
    img.Put32(Image::kSection + 12, Image::kRva);
    img.Put32(Image::kSection + 16, rawSize);
    img.Put32(Image::kSection + 20, Image::kResources);
    std::memcpy(&img.bytes[Image::kResources], area.data(), area.size());
    return img;
}

} // namespace testpe
