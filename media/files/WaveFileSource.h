#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "media/base/WaveFormat.h"
#include "media/files/WaveFileSourceListener.h"
#include "media/graph/AudioSource.h"
#include "platform/audio/RiffReader.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

// Reads a RIFF/WAVE file and produces it as 20 ms samples in the file's own format, from the
// start of the data chunk to its end, optionally looping back to the start of the data. Runs
// on a source thread of its own and tells its listeners when that thread starts and ends. A
// file that does not loop ends the thread by itself once its last frame is out; a file whose
// 20 ms frame is larger than a sample holds ends it at once, looping or not.
//
// Threads:
// - OpenWaveFile, PlayInLoop, GetFormat, GetFormatBlock, AddListener, CloseMMIO: the owner's
//   thread, before the source thread starts or after it has ended.
// - GenerateData: the source thread. SourceThreadStarted: the starting thread;
//   SourceThreadStopped: the source thread as it ends.
// - filterMutex serialises the start and stop handlers and the destructor; fileMutex guards the
//   reader, the format block, the data bounds and the loop flag, and is taken after
//   filterMutex. bRunning is atomic: GenerateData reads it without a lock.
class WaveFileSource : public AudioSource, public ListenerList {
public:
    // Length of the name that OpenWaveFile accepts, in characters (the platform's path limit
    // less the terminating zero).
    static const size_t kMaxPathLength;
    // Largest fmt chunk accepted; real formats are at most a few dozen bytes.
    static constexpr uint32_t kMaxFormatSize = 4096;
    static constexpr int kFrameLengthMs = 20;

    WaveFileSource();
    ~WaveFileSource() override;

    int LoadTraceLevel() override;

    // 0, or -10 cannot open, -20 not RIFF/WAVE, -30 no fmt chunk, -40 fmt chunk shorter than 16
    // bytes, larger than 4 KiB or running past the file, -50 no data chunk after the fmt chunk,
    // -60 empty data chunk, -70 the source is running, -80 the name is too long.
    int OpenWaveFile(const char* path);
    int PlayInLoop();
    // Copies the first 18 bytes of the format (cbSize 0 for a 16-byte block). -10 when no file
    // is open (the target is left untouched).
    int GetFormat(WaveFormat* format);
    // Copies the whole fmt chunk. -10 when no file is open.
    int GetFormatBlock(std::vector<uint8_t>* block);
    int CloseMMIO();

    int GenerateData(AudioSample** out) override;
    int SourceThreadStarted(AudioThreadHandle handle, uint32_t threadId) override;
    int SourceThreadStopped(AudioThreadHandle handle, uint32_t threadId) override;
    int SourceStarted() override;
    int SourceStopped() override;

    const char* GetFileName() const { return fileName.c_str(); }
    bool IsLooping() const;
    // The data chunk's size in bytes as far as the file holds it; 0 when no file is open.
    uint64_t GetDataLength() const;

private:
    int CloseFileLocked();
    bool IsFileOpenLocked() const { return reader.IsOpen() && !formatBlock.empty(); }

    std::string fileName;
    plat::RiffReader reader;
    std::vector<uint8_t> formatBlock;
    WaveFormat format;
    uint64_t dataStart = 0;
    uint64_t dataLength = 0;
    int frameLength = kFrameLengthMs;
    std::atomic<bool> bRunning{false};
    bool bLoop = false;
    mutable plat::CriticalSection fileMutex;
    plat::CriticalSection filterMutex;
};

} // namespace tamsor
