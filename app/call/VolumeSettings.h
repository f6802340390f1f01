#pragma once

// The call's volumes in quorvix.ini [vol]: "spk" for the speaker and "mic" for the microphone,
// 0 to 100 (50 when missing). GUI thread.

// The stored volume, held to 0-100.
int ReadVolume(const char* key);
// Stores `value` in decimal; false (traced) when the file cannot be written.
bool WriteVolume(const char* key, int value);
