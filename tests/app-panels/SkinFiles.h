#pragma once
#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ui/Surface.h"
#include "tests/skin/TestSkin.h"

// Skin files for the panel tests: an identity (skin id, language 0, the header) and a small
// preview picture.
namespace panelstest {

inline TestSkin Identity(int32_t id, int32_t first = 7, int32_t second = 7) {
    TestSkin skin;
    skin.Header(first, second).Value(kSkinIdValueId, id);
    skin.Solid(kSkinPreviewId, 20, 40, 0xFF8040C0u);
    return skin;
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every name in a folder (hidden ones too), sorted.
inline std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace panelstest
