#pragma once
#include "app/call/CallSounds.h"
#include "app/sound/PlaySound2.h"

// The program's two sound players as the call logic uses them.
class CallSoundPlayers final : public CallSounds {
public:
    void PlaySound2(const char* path, bool loop) override { ::PlaySound2(path, loop); }
    void PlaySystemSound(const char* path, bool loop) override { ::PlaySystemSound(path, loop); }
};
