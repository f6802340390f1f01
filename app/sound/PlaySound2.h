#pragma once
#include <cstdint>
#include <string>

// The wave-out and wave-in device numbers of the USB handset, -1 when none was found (then the
// default devices are used). Set by the login form at start-up; GUI thread.
extern int32_t g_nWaveOutDev;
extern int32_t g_nWaveInDev;

// Plays a wave file of the program (ringing, busy, hang-up, key tones), once or looping until
// the next call; a null path stops. With a handset device the file plays on it, else it goes
// to the system sound (PlaySystemSound). A relative path is taken from the program's
// directory. Returns the result of the last device call (callers ignore it). GUI thread.
int PlaySound2(const char* path, bool loop);

// The system sound: one wave file at a time on the default output device, once or looping; a
// null path stops it. Independent of the handset's player (an incoming call rings here while
// the handset plays its own sounds). GUI thread.
int PlaySystemSound(const char* path, bool loop);

// Closes both players' devices and frees their buffers (the login form's destruction path).
void CloseSoundPlayers();

// A sound file's path as the program names it ("sounds\hangup.wav"): backslashes become
// slashes, a relative path is taken from `baseDir`, and when no file has that exact name, a
// file in the same directory whose name differs only in case is used.
std::string ResolveSoundPath(const char* path, const std::string& baseDir);
