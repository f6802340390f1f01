#include "app/skinfiles/SkinFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "app/layout/CallLayout.h"
#include "app/layout/FormSkinIds.h"
#include "app/trace/TraceFile.h"
#include "platform/core/Paths.h"
#include "platform/res/ResourceModule.h"
#include "skin/SkinResources.h"
#include "skin/zel_Bitmap.h"

namespace {

constexpr char kExtension[] = ".zsk";

bool IsFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void TraceInstall(const std::string& text) {
    AppTrace(("CMakeCall::zel_SldSkins::InstallSkin: " + text).c_str());
}

// The skin files of one folder, by name.
std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d) {
        return names;
    }
    while (const dirent* entry = readdir(d)) {
        uint32_t id = 0;
        if (SkinFolder::IdFromFileName(entry->d_name, &id)) {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

using Kind = SkinValueKind;

// The values the forms read, each with what it stands for: the fonts' heights, where the face
// meets the panel columns, and each sliding panel's values after its background n: its closed
// and peek edges (how much of it shows) and its y.
constexpr size_t kPanelLists =
    std::count_if(std::begin(kSidePanels), std::end(kSidePanels),
                  [](const PanelIds& p) { return p.fontHeightValue != 0; });
constexpr auto kFormValues = [] {
    std::array<SkinValueRule, 6 + kPanelLists + 3 * std::size(kSidePanels)> rules = {{
        {LoginFormIds::kFontHeightValue, Kind::FontHeight},
        {CallWindowIds::kCaptionHeightValue, Kind::FontHeight},
        {CallWindowIds::kNumberHeightValue, Kind::FontHeight},
        {CallWindowIds::kUserNameHeightValue, Kind::FontHeight},
        {CallWindowIds::kFaceOverlapValue, Kind::Place},
        {CallWindowIds::kRightPanelsValue, Kind::Size},
    }};
    size_t at = 6;
    for (const PanelIds& panel : kSidePanels) {
        if (panel.fontHeightValue != 0) {
            rules[at++] = {panel.fontHeightValue, Kind::FontHeight};
        }
        rules[at++] = {panel.id + 1, Kind::Size};
        rules[at++] = {panel.id + 2, Kind::Size};
        rules[at++] = {panel.id + 3, Kind::Place};
    }
    return rules;
}();

constexpr int kFormBackgrounds[] = {LoginFormIds::kBackground, CallWindowIds::kFace};

// Bitmap `id`'s size as it would load; 0 x 0 when it would not.
zel_Bitmap::Info PictureSize(const plat::ResourceModule& module, int id) {
    zel_Bitmap::Info info;
    return zel_Bitmap::Inspect(module, id, &info) ? info : zel_Bitmap::Info{};
}

// What the forms make from the module beyond its pictures and text areas: each window's back
// buffer, which the window system holds a copy of too (the login form's is its background's
// size, the call window's its layout's), and the skins panel's copy of the preview beside its
// caption strip (20 pixels on screen, at the strip's height).
int64_t FormPixels(const plat::ResourceModule& module) {
    const zel_Bitmap::Info login = PictureSize(module, LoginFormIds::kBackground);
    int64_t pixels = 2 * int64_t{login.width} * login.height;

    CallLayout layout;
    if (ComputeCallLayout(ReadCallLayoutInput(module), &layout)) {
        pixels += 2 * int64_t{layout.width} * layout.height;
    }

    const zel_Bitmap::Info preview = PictureSize(module, kSkinPreviewId);
    int32_t strip[4] = {};
    pixels += int64_t{preview.width} * preview.height;
    if (ReadSkinInts(&module, kSkinTypeArea, SkinsPanelIds::kStrip, strip) ==
            SkinLoadStep::Loaded &&
        strip[3] > 0) {
        pixels += int64_t{20} * preview.height / strip[3] * preview.height;
    }
    return pixels;
}

bool WriteAll(int fd, const std::vector<char>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

SkinFolder::SkinFolder(std::string installedDir, std::string shippedDir)
    : m_Installed(std::move(installedDir)), m_Shipped(std::move(shippedDir)) {}

SkinFolder SkinFolder::Default() {
    return SkinFolder(plat::JoinPath(plat::DataDir(), kName),
                      plat::JoinPath(plat::ProgramDir(), kName));
}

std::string SkinFolder::FileName(uint32_t id) {
    char name[32];
    std::snprintf(name, sizeof name, "%x%s", id, kExtension);
    return name;
}

bool SkinFolder::IdFromFileName(const std::string& name, uint32_t* id) {
    const size_t digits = name.size() - (sizeof kExtension - 1);
    if (name.size() <= sizeof kExtension - 1 || digits > 8 ||
        name.compare(digits, std::string::npos, kExtension) != 0) {
        return false;
    }
    uint32_t value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = name[i];
        if (c >= '0' && c <= '9') {
            value = value * 16 + static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value = value * 16 + static_cast<uint32_t>(c - 'a' + 10);
        } else {
            return false;
        }
    }
    // Only the name FileName gives (no leading zeros): one file per skin id.
    if (FileName(value) != name) {
        return false;
    }
    *id = value;
    return true;
}

SkinContents SkinFolder::CheckContents(const plat::ResourceModule& module) {
    return CheckSkinContents(&module, {kFormBackgrounds, kFormValues, FormPixels});
}

std::string SkinFolder::PathOf(uint32_t id) const {
    const std::string installed = plat::JoinPath(m_Installed, FileName(id));
    const std::string shipped = plat::JoinPath(m_Shipped, FileName(id));
    return IsFile(installed) || !IsFile(shipped) ? installed : shipped;
}

bool SkinFolder::Has(uint32_t id) const {
    return IsFile(PathOf(id));
}

std::vector<std::string> SkinFolder::List() const {
    std::vector<std::string> paths;
    for (const std::string& dir : {m_Installed, m_Shipped}) {
        for (const std::string& name : FilesIn(dir)) {
            uint32_t id = 0;
            IdFromFileName(name, &id);
            const std::string path = plat::JoinPath(dir, name);
            if (PathOf(id) == path && IsFile(path)) {
                paths.push_back(path);
            }
        }
    }
    return paths;
}

SkinFolder::Install SkinFolder::Copy(const std::string& source, uint32_t* id,
                                     std::string* target) const {
    struct stat info;
    if ((stat(m_Installed.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) &&
        !plat::MakeDirs(m_Installed)) {
        TraceInstall("no se pudo crear " + m_Installed);
        return Install::NoFolder;
    }
    if (stat(m_Installed.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        TraceInstall(m_Installed + " no es una carpeta");
        return Install::NoFolder;
    }
    // The bytes are read once: the copy is the very file that was checked.
    std::ifstream in(source, std::ios::binary);
    std::vector<char> bytes;
    if (in) {
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        // A skin is held whole while it is in use: a larger file is not even read.
        if (size > 0 && static_cast<uint64_t>(size) > kMaxSkinFileBytes) {
            SkinContents contents;
            contents.verdict = SkinContents::Verdict::OverBudget;
            contents.bytes = static_cast<size_t>(size);
            TraceInstall(source + " no se lee: " + DescribeSkinContents(contents));
            return Install::Unusable;
        }
        if (size > 0) {
            bytes.resize(static_cast<size_t>(size));
            in.seekg(0);
            in.read(bytes.data(), size);
        }
    }
    if (bytes.empty() || !in) {
        TraceInstall("no se pudo leer " + source);
        return Install::NotASkin;
    }
    plat::ResourceModule module; // on the bytes read, which outlive it
    if (!module.LoadFromStaticBytes(bytes.data(), bytes.size())) {
        TraceInstall(source + " no es un skin: " + module.Error());
        return Install::NotASkin;
    }
    const int32_t skinId = GetModuleSkinValue(&module, kSkinIdValueId);
    if (skinId <= 0) {
        TraceInstall(source + " no tiene id de skin");
        return Install::NotASkin;
    }
    *id = static_cast<uint32_t>(skinId);
    *target = plat::JoinPath(m_Installed, FileName(*id));
    if (const SkinContents contents = CheckContents(module);
        contents.verdict != SkinContents::Verdict::Accepted) {
        TraceInstall(source + " no se puede usar: " + DescribeSkinContents(contents));
        return Install::Unusable;
    }
    if (Has(*id)) {
        TraceInstall("el skin ya esta instalado: " + PathOf(*id));
        return Install::AlreadyInstalled;
    }
    std::string temp = plat::JoinPath(m_Installed, ".install-XXXXXX");
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        TraceInstall("no se pudo escribir en " + m_Installed);
        return Install::CopyFailed;
    }
    const bool written = WriteAll(fd, bytes) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    // link() never replaces an existing name: a skin installed meanwhile stays as it is.
    int linkError = 0;
    if (written && closed && link(temp.c_str(), target->c_str()) != 0) {
        linkError = errno;
    }
    unlink(temp.c_str());
    if (!written || !closed) {
        TraceInstall("no se pudo escribir la copia de " + source);
        return Install::CopyFailed;
    }
    if (linkError != 0) {
        TraceInstall("no se pudo copiar a " + *target + ": " + std::strerror(linkError));
        return linkError == EEXIST ? Install::AlreadyInstalled : Install::CopyFailed;
    }
    return Install::Installed;
}
