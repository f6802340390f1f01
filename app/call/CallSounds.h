#pragma once

// The two sound players the call logic uses: the program's own player of wave files (one
// sound at a time, once or looped) and the system's asynchronous player, which plays the
// incoming ring. A null path stops what the player plays. GUI thread only.
class CallSounds {
public:
    virtual ~CallSounds() = default;
    virtual void PlaySound2(const char* path, bool loop) = 0;
    virtual void PlaySystemSound(const char* path, bool loop) = 0;
};
