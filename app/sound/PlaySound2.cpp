#include "app/sound/PlaySound2.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include "app/sound/WaveFilePlayer.h"
#include "platform/core/Paths.h"

int32_t g_nWaveOutDev = -1;
int32_t g_nWaveInDev = -1;

namespace {

// Never destroyed: a device still open at exit must not be closed after the audio backend is
// gone. The login form closes both with CloseSoundPlayers.
WaveFilePlayer& HandsetPlayer() {
    static WaveFilePlayer* player = new WaveFilePlayer("PlaySound2");
    return *player;
}

WaveFilePlayer& SystemPlayer() {
    static WaveFilePlayer* player = new WaveFilePlayer("PlaySound");
    return *player;
}

int PlayOn(WaveFilePlayer& player, const char* caller, int device, const char* path, bool loop) {
    player.SetTraceName(caller);
    if (path == nullptr) {
        return static_cast<int>(player.Stop());
    }
    return static_cast<int>(player.Play(device, ResolveSoundPath(path, plat::ProgramDir()), loop));
}

} // namespace

int PlaySound2(const char* path, bool loop) {
    if (g_nWaveOutDev == -1) {
        return PlayOn(SystemPlayer(), "PlaySound2", plat::WAVE_MAPPER, path, loop);
    }
    return PlayOn(HandsetPlayer(), "PlaySound2", g_nWaveOutDev, path, loop);
}

int PlaySystemSound(const char* path, bool loop) {
    return PlayOn(SystemPlayer(), "PlaySound", plat::WAVE_MAPPER, path, loop);
}

void CloseSoundPlayers() {
    HandsetPlayer().Close();
    SystemPlayer().Close();
}

std::string ResolveSoundPath(const char* path, const std::string& baseDir) {
    std::string name(path);
    for (char& c : name) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (name.empty() || name[0] != '/') {
        name = plat::JoinPath(baseDir, name);
    }
    struct stat info;
    if (stat(name.c_str(), &info) == 0) {
        return name;
    }
    size_t slash = name.find_last_of('/');
    std::string dir = name.substr(0, slash == 0 ? 1 : slash);
    std::string file = name.substr(slash + 1);
    DIR* listing = opendir(dir.c_str());
    if (listing == nullptr) {
        return name;
    }
    std::string found = name;
    while (dirent* entry = readdir(listing)) {
        if (strcasecmp(entry->d_name, file.c_str()) == 0) {
            found = plat::JoinPath(dir, entry->d_name);
            break;
        }
    }
    closedir(listing);
    return found;
}
