#pragma once
#include <cstdint>
#include <deque>
#include <memory>

#include "media/base/TraceComponent.h"
#include "media/graph/AudioSample.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

// The free list behind the pool (poolLock guards every field). Every sample keeps a shared
// reference to it, so a sample released after the pool's manager is gone finds it closed and
// deletes itself instead of returning to freed memory.
class AudioSamplePool {
public:
    // Takes the front of the free list, or null when it is empty.
    AudioSample* TakeFree();
    // Appends a released sample; false when the pool is closed (the caller deletes it).
    bool PutFree(AudioSample* sample);
    // Keeps a sample that was found in use while on the free list (a misused count), so it is
    // freed with the pool instead of being lost.
    void Abandon(AudioSample* sample);
    // Deletes every free and abandoned sample and refuses later returns.
    void Close();
    size_t FreeCount();

private:
    plat::CriticalSection poolLock;
    // First in, first out, linked through the samples themselves so recycling never allocates.
    AudioSample* freeHead = nullptr;
    AudioSample* freeTail = nullptr;
    size_t freeCount = 0;
    std::deque<AudioSample*> abandoned;
    bool closed = false;
};

// The process-wide pool of audio samples. Samples are recycled first in, first out, and the
// pool grows to the working set without ever shrinking while the engine runs.
//
// Threads: any thread may get and release samples. instanceLock guards the instance pointer;
// the pool's lock guards its free list; createdCount is atomic.
class AudioSampleManager : public TraceComponent {
public:
    AudioSampleManager();
    ~AudioSampleManager() override;

    int LoadTraceLevel() override;

    static void Init();
    static void Shutdown();
    // The instance, created when there is none (also after Shutdown, so a late caller is safe).
    static AudioSampleManager* GetInstance();

    // Hands out a sample with one reference. Returns 0.
    int GetAudioSample(AudioSample** out, const TraceComponent* owner);

    int GetCreatedCount() const { return createdCount.load(); }
    size_t GetFreeCount() { return pool->FreeCount(); }

private:
    AudioSample* CreateSample();

    std::shared_ptr<AudioSamplePool> pool;
    std::atomic<int> createdCount{0};
    std::atomic<uint32_t> getCalls{0};
};

} // namespace tamsor
