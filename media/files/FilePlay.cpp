#include "media/files/FilePlay.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "media/files/EndOfFileNotifier.h"
#include "media/graph/AudioGraph.h"
#include "media/graph/AudioSink.h"

namespace tamsor {

namespace {

using Lock = std::lock_guard<plat::CriticalSection>;

// The library-wide play counter: the first play gets id 1; ids are not reused.
std::atomic<int32_t> playCounter{0};

// Waits on the state event are cut into slices so a missed wake-up costs at most one slice.
constexpr uint32_t kStateWaitSliceMs = 20;

} // namespace

FilePlay::FilePlay(AudioSink* sink, int frameLengthMs, bool transmit)
    : FilePlay(sink, frameLengthMs, transmit, nullptr) {}

FilePlay::FilePlay(AudioSink* sink, int frameLengthMs, bool transmit,
                   std::unique_ptr<WaveFileSource> source)
    : waveFileSource(source ? std::move(source) : std::make_unique<WaveFileSource>()),
      acmTransformer(std::make_unique<ACMTransformer>()),
      pcmVolumeTransformer(std::make_unique<PCMVolumeTransformer>()), transmitMark(transmit) {
    SetComponentNameFor("FilePlay", this);
    LoadTraceLevel();
    Trace(TRACE_ENTRY, "FilePlay\n");
    waveFileSource->AddListener(this);
    acmTransformer->SetFrameLength(frameLengthMs);
    tamsor::Connect(waveFileSource.get(), acmTransformer.get());
    tamsor::Connect(acmTransformer.get(), pcmVolumeTransformer.get());
    Connect(sink);
    playId = ++playCounter;
}

FilePlay::~FilePlay() {
    Trace(TRACE_ENTRY, "~FilePlay\n");
    StopImmediately();
    Disconnect();
    // The source's thread may still be winding up after a natural end; it calls back into this
    // object, so it is joined before anything is destroyed.
    waveFileSource.reset();
    tamsor::Disconnect(acmTransformer.get(), pcmVolumeTransformer.get());
    acmTransformer.reset();
    pcmVolumeTransformer.reset();
}

int FilePlay::LoadTraceLevel() {
    return LoadTraceLevelFrom("FilePlay");
}

int32_t FilePlay::LastPlayId() {
    return playCounter.load();
}

void FilePlay::Connect(AudioSink* sink) {
    Disconnect();
    if (sink != nullptr) {
        tamsor::Connect(pcmVolumeTransformer.get(), sink);
    }
    audioSink = sink;
}

void FilePlay::Disconnect() {
    if (audioSink != nullptr) {
        tamsor::Disconnect(pcmVolumeTransformer.get(), audioSink);
    }
    audioSink = nullptr;
}

int FilePlay::LoadFile(const char* path) {
    return waveFileSource->OpenWaveFile(path);
}

int FilePlay::PlayInLoop() {
    return waveFileSource->PlayInLoop();
}

int FilePlay::SetVolume(int volume) {
    return pcmVolumeTransformer->SetVolume(volume);
}

int FilePlay::SetDestinationFormat(const WaveFormat& format) {
    return acmTransformer->SetDestinationFormat(format);
}

bool FilePlay::IsRunning() {
    Lock guard(stateMutex);
    return currentState != STATE_STOPPED;
}

int FilePlay::GetState() {
    Lock guard(stateMutex);
    return currentState;
}

void FilePlay::SetState(int state) {
    Lock guard(stateMutex);
    currentState = state;
    stateChangedEvent.Set();
}

int FilePlay::WaitWhileState(int from) {
    for (;;) {
        {
            Lock guard(stateMutex);
            if (currentState != from) {
                return currentState;
            }
        }
        stateChangedEvent.Wait(kStateWaitSliceMs);
    }
}

int FilePlay::Start() {
    Trace(TRACE_ENTRY, "Start\n");
    {
        std::unique_lock<plat::CriticalSection> guard(stateMutex);
        switch (currentState) {
        case STATE_STOPPED:
            currentState = STATE_STARTING;
            stateChangedEvent.Set();
            break;
        case STATE_STARTING:
            // Another thread's start is under way: wait for its outcome.
            guard.unlock();
            return WaitWhileState(STATE_STARTING) == STATE_RUNNING ? 0 : -10;
        case STATE_RUNNING:
            return 0;
        case STATE_STOPPING:
            return -20;
        default:
            return -30;
        }
    }

    auto fail = [this](int code) {
        SetState(STATE_STOPPED);
        Trace(TRACE_FAILURE, "Start : failed %d\n", code);
        return code;
    };
    std::vector<uint8_t> format;
    if (waveFileSource->GetFormatBlock(&format) < 0) {
        return fail(-35);
    }
    if (acmTransformer->SetSourceFormat(format.data(), format.size()) < 0) {
        return fail(-40);
    }
    if (pcmVolumeTransformer->StartTransform() != 0) {
        return fail(-50);
    }
    if (acmTransformer->StartTransform() != 0) {
        pcmVolumeTransformer->StopTransform();
        return fail(-60);
    }
    if (waveFileSource->StartSourceThread() != 0) {
        // No thread runs the file: undo the start instead of leaving the play starting for
        // ever. A thread that was created and refused is joined first.
        waveFileSource->StopSourceThread();
        acmTransformer->StopTransform();
        pcmVolumeTransformer->StopTransform();
        return fail(-70);
    }
    // The source reported FILE_STARTED while its thread started, so the play is running (or
    // already past its end, for a file shorter than a frame).
    return 0;
}

void FilePlay::FilePlayStarted(WaveFileSource*, const char*) {
    Lock guard(stateMutex);
    if (currentState != STATE_STARTING) {
        Trace(TRACE_FAILURE, "FilePlayStarted : state %d\n", currentState);
    }
    currentState = STATE_RUNNING;
    stateChangedEvent.Set();
}

void FilePlay::FilePlayStopped(WaveFileSource*, const char*) {
    {
        Lock guard(stateMutex);
        if (currentState != STATE_RUNNING) {
            return; // an immediate stop is tearing the play down, or the start was undone
        }
        currentState = STATE_STOPPING;
        stateChangedEvent.Set();
    }
    Cleanup();
}

void FilePlay::Cleanup() {
    Trace(TRACE_ENTRY, "Cleanup\n");
    // The file is at its end: with the source unlinked, the converter's stop lets the consumer
    // take the frames still queued (bounded), then the play leaves the sink.
    tamsor::Disconnect(waveFileSource.get(), acmTransformer.get());
    acmTransformer->StopTransform();
    Disconnect();
    pcmVolumeTransformer->StopTransform();
    tamsor::Disconnect(acmTransformer.get(), pcmVolumeTransformer.get());
    EndOfFileNotifier::Notify(playId, !transmitMark);
    SetState(STATE_STOPPED);
}

int FilePlay::StopImmediately() {
    Trace(TRACE_ENTRY, "StopImmediately\n");
    {
        std::unique_lock<plat::CriticalSection> guard(stateMutex);
        switch (currentState) {
        case STATE_STARTING:
            return -10;
        case STATE_RUNNING:
            currentState = STATE_STOPPING;
            stateChangedEvent.Set();
            break;
        case STATE_STOPPING:
            // A natural end is being cleaned up on the source's thread; emptying the queue
            // ends its wait for the consumer.
            while (currentState != STATE_STOPPED) {
                acmTransformer->FlushBuffer();
                guard.unlock();
                stateChangedEvent.Wait(kStateWaitSliceMs);
                guard.lock();
            }
            return 0;
        default:
            return 0;
        }
    }
    // Leave the sink first, so its thread no longer pulls from a chain being taken down.
    Disconnect();
    acmTransformer->FlushBuffer();
    acmTransformer->StopTransform();
    waveFileSource->StopSourceThread();
    CleanupImmediately();
    return 0;
}

void FilePlay::CleanupImmediately() {
    Trace(TRACE_ENTRY, "CleanupImmediately\n");
    acmTransformer->StopTransform();
    pcmVolumeTransformer->StopTransform();
    tamsor::Disconnect(waveFileSource.get(), acmTransformer.get());
    tamsor::Disconnect(acmTransformer.get(), pcmVolumeTransformer.get());
    Disconnect();
    EndOfFileNotifier::FireNow(playId, transmitMark);
    SetState(STATE_STOPPED);
}

} // namespace tamsor
