#include "app/panels/SkinFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "app/call/CMakeCall.h"
#include "app/login/LoginForm.h"
#include "app/trace/TraceFile.h"
#include "platform/core/Paths.h"
#include "platform/res/ResourceModule.h"
#include "skin/SkinResources.h"

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
    static constexpr int kFormBackgrounds[] = {LoginForm::kBackground, CMakeCall::kFace};
    return CheckSkinContents(&module, kFormBackgrounds);
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
        if (size > 0 && static_cast<uint64_t>(size) <= plat::ResourceModule::kMaxFileSize) {
            bytes.resize(static_cast<size_t>(size));
            in.seekg(0);
            in.read(bytes.data(), size);
        }
    }
    if (bytes.empty() || !in) {
        TraceInstall("no se pudo leer " + source);
        return Install::NotASkin;
    }
    plat::ResourceModule module;
    if (!module.LoadFromBytes(bytes.data(), bytes.size())) {
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
