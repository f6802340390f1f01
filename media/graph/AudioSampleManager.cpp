#include "media/graph/AudioSampleManager.h"

#include <mutex>

namespace tamsor {

namespace {

// The lock outlives every manager, so Init, Shutdown and GetInstance are safe in any order.
std::mutex& InstanceLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}
AudioSampleManager* g_instance = nullptr;
bool g_initialised = false;

} // namespace

AudioSample* AudioSamplePool::TakeFree() {
    plat::CriticalSectionLock guard(poolLock);
    AudioSample* sample = freeHead;
    if (!sample) {
        return nullptr;
    }
    freeHead = sample->nextFree;
    if (!freeHead) {
        freeTail = nullptr;
    }
    sample->nextFree = nullptr;
    --freeCount;
    return sample;
}

bool AudioSamplePool::PutFree(AudioSample* sample) {
    plat::CriticalSectionLock guard(poolLock);
    if (closed) {
        return false;
    }
    sample->nextFree = nullptr;
    if (freeTail) {
        freeTail->nextFree = sample;
    } else {
        freeHead = sample;
    }
    freeTail = sample;
    ++freeCount;
    return true;
}

void AudioSamplePool::Abandon(AudioSample* sample) {
    plat::CriticalSectionLock guard(poolLock);
    abandoned.push_back(sample);
}

void AudioSamplePool::Close() {
    std::deque<AudioSample*> doomed;
    {
        plat::CriticalSectionLock guard(poolLock);
        closed = true;
        for (AudioSample* s = freeHead; s; s = s->nextFree) {
            doomed.push_back(s);
        }
        freeHead = freeTail = nullptr;
        freeCount = 0;
        doomed.insert(doomed.end(), abandoned.begin(), abandoned.end());
        abandoned.clear();
    }
    for (AudioSample* sample : doomed) {
        // A releaser may still be leaving the sample's lock after putting it here.
        sample->sampleLock.Enter();
        sample->sampleLock.Leave();
        delete sample;
    }
}

size_t AudioSamplePool::FreeCount() {
    plat::CriticalSectionLock guard(poolLock);
    return freeCount;
}

AudioSampleManager::AudioSampleManager() : pool(std::make_shared<AudioSamplePool>()) {
    SetComponentNameFor("AudioSampleManager", this);
    LoadTraceLevel();
}

AudioSampleManager::~AudioSampleManager() {
    Trace(TRACE_STATE, "~AudioSampleManager : created %d, free %d\n", createdCount.load(),
          static_cast<int>(pool->FreeCount()));
    pool->Close();
}

int AudioSampleManager::LoadTraceLevel() {
    return LoadTraceLevelFrom("AudioSampleManager");
}

void AudioSampleManager::Init() {
    std::lock_guard<std::mutex> guard(InstanceLock());
    if (g_initialised) {
        return;
    }
    if (!g_instance) {
        g_instance = new AudioSampleManager;
    }
    g_initialised = true;
}

void AudioSampleManager::Shutdown() {
    AudioSampleManager* doomed = nullptr;
    {
        std::lock_guard<std::mutex> guard(InstanceLock());
        if (!g_initialised) {
            return;
        }
        doomed = g_instance;
        g_instance = nullptr;
        g_initialised = false;
    }
    delete doomed;
}

AudioSampleManager* AudioSampleManager::GetInstance() {
    std::lock_guard<std::mutex> guard(InstanceLock());
    if (!g_instance) {
        g_instance = new AudioSampleManager;
    }
    return g_instance;
}

AudioSample* AudioSampleManager::CreateSample() {
    createdCount.fetch_add(1);
    return new AudioSample(pool);
}

int AudioSampleManager::GetAudioSample(AudioSample** out, const TraceComponent* /*owner*/) {
    if (getCalls.fetch_add(1) % 1000 == 999) {
        Trace(TRACE_STATE, "GetAudioSample : free %d, created %d\n",
              static_cast<int>(pool->FreeCount()), createdCount.load());
    }
    AudioSample* sample = pool->TakeFree();
    if (!sample) {
        sample = CreateSample();
    }
    sample->sampleLock.Enter();
    if (sample->refCount > 0) {
        // Still in use somewhere: leave it there and make a new one.
        sample->sampleLock.Leave();
        Trace(TRACE_FAILURE, "GetAudioSample : sample %p in use\n", static_cast<void*>(sample));
        pool->Abandon(sample);
        sample = CreateSample();
        sample->sampleLock.Enter();
    }
    sample->refCount = 1;
    sample->dataSize = 0;
    sample->silenceMs = 0;
    sample->sampleLock.Leave();
    if (out) {
        *out = sample;
    } else {
        sample->Release(this);
    }
    return 0;
}

} // namespace tamsor
