#include "media/devices/WaveAudioSink.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "media/base/EngineTrace.h"
#include "media/base/RegistryValues.h"
#include "media/devices/WaveDeviceCalls.h"
#include "media/graph/AudioSample.h"
#include "platform/core/Clock.h"
#include "platform/core/Thread.h"

namespace tamsor {

namespace {

std::atomic<uint64_t> g_bytesPlayed{0};

} // namespace

WaveAudioSink::WaveAudioSink()
    : format(MakeWaveFormat(FORMAT_PCM16)),
      buffers(new char[static_cast<size_t>(kMaxFrames) * kMaxFrameSize]()) {
    SetComponentNameFor("WaveAudioSink", this);
    SetThreadName("speaker");
    Trace(TRACE_ENTRY, "Constructor begin\n");
    Trace(TRACE_ENTRY, "Constructor end\n");
}

WaveAudioSink::~WaveAudioSink() {
    // The thread renders into this object's buffers: it ends first. The close then runs under
    // filterMutex, so no start or stop handler can still be inside.
    StopSinkThread();
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    EndAudioRender();
}

int WaveAudioSink::LoadTraceLevel() {
    return LoadTraceLevelFrom(kRegTraceWaveAudioSink);
}

uint64_t WaveAudioSink::GetBytesPlayed() {
    return g_bytesPlayed.load();
}

void WaveAudioSink::ResetBytesPlayed() {
    g_bytesPlayed.store(0);
}

int WaveAudioSink::SetFrameSize(unsigned bytes) {
    Trace(TRACE_ENTRY, "SetFrameSize %u\n", bytes);
    frameSize = std::min<uint32_t>(bytes, kMaxFrameSize);
    Trace(TRACE_ENTRY, "~SetFrameSize\n");
    return 0;
}

int WaveAudioSink::SetNumFrames(unsigned count) {
    Trace(TRACE_ENTRY, "SetNumFrames %u\n", count);
    numFrames = std::min<uint32_t>(count, kMaxFrames);
    Trace(TRACE_ENTRY, "~SetNumFrames\n");
    return 0;
}

int WaveAudioSink::SetDeviceID(int device) {
    deviceId = device;
    return 0;
}

bool WaveAudioSink::IsOpen() {
    std::lock_guard<plat::CriticalSection> data(dataMutex);
    return bOpen;
}

bool WaveAudioSink::IsDeviceOpen() {
    std::lock_guard<plat::CriticalSection> data(dataMutex);
    return hWaveOut != nullptr;
}

int WaveAudioSink::SetVolume(unsigned volume) {
    uint32_t v = std::min(volume, 100u);
    uint32_t level = v * 65535u / 100u;
    std::lock_guard<plat::CriticalSection> data(dataMutex);
    if (bOpen && hWaveOut) {
        hWaveOut->SetVolume(level * 0x10001u);
    }
    return 0;
}

bool WaveAudioSink::GetDeviceVolume(uint32_t* volume) {
    std::lock_guard<plat::CriticalSection> data(dataMutex);
    return bOpen && hWaveOut && volume && hWaveOut->GetVolume(volume) == plat::MMSYSERR_NOERROR;
}

int WaveAudioSink::BeginAudioRender() {
    Trace(TRACE_ENTRY, "BeginAudioRender\n");
    {
        Trace(TRACE_DETAIL, "BeginAudioRender : Entering freeBuffersMutex\n");
        std::lock_guard<plat::CriticalSection> list(freeBuffersMutex);
        freeBuffers.clear();
        Trace(TRACE_DETAIL, "BeginAudioRender : Left freeBuffersMutex\n");
    }
    TraceWaveFormat(*this, TRACE_LOCKS, format);
    plat::WaveDeviceFormat deviceFormat = ToDeviceFormat(format);
    auto device = std::make_unique<plat::WaveOut>();
    Trace(TRACE_LOCKS, "BeginAudioRender : waveOutOpen\n");
    plat::MMRESULT mr = device->Open(deviceId.load(), deviceFormat, SpeakerCallback, this);
    Trace(TRACE_LOCKS, "BeginAudioRender : ~waveOutOpen\n");
    if (mr != plat::MMSYSERR_NOERROR) {
        Trace(TRACE_FAILURE, "BeginAudioRender : e-waveOutOpen : 0x%x\n", mr);
        EngineTrace("WaveAudioSink::BeginAudioRender: !waveOutOpen (1), mr=", mr);
        plat::SleepMs(1000);
        Trace(TRACE_FAILURE, "BeginAudioRender : waveOutOpen : 2nd try\n");
        mr = device->Open(deviceId.load(), deviceFormat, SpeakerCallback, this);
        Trace(TRACE_FAILURE, "BeginAudioRender : ~waveOutOpen : returned 0x%x\n", mr);
        if (mr != plat::MMSYSERR_NOERROR) {
            Trace(TRACE_FAILURE, "BeginAudioRender : e-waveOutOpen : 0x%x\n", mr);
            EngineTrace("WaveAudioSink::BeginAudioRender: !waveOutOpen (2), mr=", mr);
            Trace(TRACE_FAILURE, "~BeginAudioRender : returning %d 0x%x\n", -10, -10);
            return -10;
        }
    }
    {
        std::lock_guard<plat::CriticalSection> data(dataMutex);
        hWaveOut = std::move(device);
    }
    bClosing = false;

    int result = 0;
    uint32_t frames = numFrames.load();
    uint32_t size = frameSize.load();
    for (uint32_t i = 0; i < frames; ++i) {
        plat::WaveHeader& header = headers[i];
        header = plat::WaveHeader{};
        header.lpData = buffers.get() + static_cast<size_t>(i) * kMaxFrameSize;
        header.dwBufferLength = size;
        header.dwUser = i;
        Trace(TRACE_LOCKS, "BeginAudioRender : waveOutPrepareHeader\n");
        mr = hWaveOut->PrepareHeader(&header);
        Trace(TRACE_LOCKS, "BeginAudioRender : ~waveOutPrepareHeader\n");
        result = static_cast<int>(mr);
        if (mr != plat::MMSYSERR_NOERROR) {
            Trace(TRACE_FAILURE, "BeginAudioRender : e-waveOutPrepareHeader : 0x%x\n", mr);
            EngineTrace("WaveAudioSink::BeginAudioRender: !waveOutPrepareHeader, result=", mr);
            continue;
        }
        Trace(TRACE_LOCKS, "BeginAudioRender : Entering freeBuffersMutex\n");
        std::lock_guard<plat::CriticalSection> list(freeBuffersMutex);
        freeBuffers.push_back(&header);
    }
    if (result != 0) {
        // The start fails: the device does not stay open behind it.
        Trace(TRACE_FAILURE, "~BeginAudioRender : returning %d 0x%x\n", result, result);
        EndAudioRender();
        return result;
    }
    Trace(TRACE_ENTRY, "~BeginAudioRender : returning %d 0x%x\n", 0, 0);
    return 0;
}

int WaveAudioSink::EndAudioRender() {
    if (!IsDeviceOpen()) {
        return 0;
    }
    bClosing = true;
    plat::SleepMs(0);

    // Let queued buffers finish. Only headers really on the device are waited for (a header
    // whose write failed, or one never written, is not), with one budget for all of them.
    uint32_t frames = numFrames.load();
    int budget = kDrainWaits;
    for (uint32_t i = 0; i < frames; ++i) {
        for (;;) {
            uint32_t flags = plat::LoadHeaderFlags(headers[i]);
            bool queued = (flags & plat::WHDR_PREPARED) && (flags & plat::WHDR_INQUEUE) &&
                          !(flags & plat::WHDR_DONE);
            if (!queued || budget <= 0) {
                break;
            }
            bufferEvent.Wait(kDrainWaitMs);
            --budget;
        }
    }

    plat::WaveOut* device;
    {
        std::lock_guard<plat::CriticalSection> data(dataMutex);
        device = hWaveOut.get();
    }
    plat::MMRESULT mr =
        RetryDeviceCall(kDeviceTries, kDeviceRetryMs, [&] { return device->Reset(); });
    if (mr != plat::MMSYSERR_NOERROR) {
        return -10; // the device stays open
    }
    for (uint32_t i = 0; i < frames; ++i) {
        RetryDeviceCall(kDeviceTries, kDeviceRetryMs,
                        [&] { return device->UnprepareHeader(&headers[i]); });
    }
    mr = RetryDeviceCall(kDeviceTries, kDeviceRetryMs, [&] { return device->Close(); });
    // The handle is dropped in any case; a device that refused to close is closed by force
    // as the object goes.
    std::unique_ptr<plat::WaveOut> dropped;
    {
        std::lock_guard<plat::CriticalSection> data(dataMutex);
        dropped = std::move(hWaveOut);
    }
    dropped.reset();
    return mr != plat::MMSYSERR_NOERROR ? -30 : 0;
}

plat::WaveHeader* WaveAudioSink::GetFreeBuffer() {
    if (bStopSinkThread) {
        return nullptr;
    }
    for (;;) {
        {
            std::lock_guard<plat::CriticalSection> data(dataMutex);
            if (!bOpen) {
                return nullptr;
            }
        }
        {
            std::lock_guard<plat::CriticalSection> list(freeBuffersMutex);
            if (!freeBuffers.empty()) {
                plat::WaveHeader* header = freeBuffers.front();
                freeBuffers.pop_front();
                return header;
            }
            bufferEvent.Reset();
        }
        // A stop that came before the reset above would have lost its wake-up.
        if (bStopSinkThread) {
            return nullptr;
        }
        bufferEvent.Wait(1000);
        if (bStopSinkThread) {
            return nullptr;
        }
    }
}

void WaveAudioSink::SpeakerCallback(plat::WaveOut*, uint32_t message, void* instance,
                                    plat::WaveHeader* header) {
    auto* sink = static_cast<WaveAudioSink*>(instance);
    if (message == plat::WOM_DONE) {
        sink->Trace(TRACE_DETAIL, "SpeakerCallback : WOM_DONE\n");
        sink->Trace(TRACE_DETAIL, "SpeakerCallback : Entering freeBuffersMutex\n");
        std::lock_guard<plat::CriticalSection> list(sink->freeBuffersMutex);
        sink->freeBuffers.push_back(header);
        sink->bufferEvent.Set();
        sink->Trace(TRACE_DETAIL, "SpeakerCallback : Left freeBuffersMutex\n");
    } else if (message == plat::WOM_CLOSE) {
        sink->bufferEvent.Set();
    }
}

int WaveAudioSink::RenderAudioSamples(AudioSampleList& samples) {
    Trace(TRACE_DETAIL, "RenderAudioSamples\n");
    if (bClosing) {
        return 5;
    }
    if (samples.empty()) {
        plat::SleepMs(5);
        EngineTrace("WaveAudioSink::RenderAudioSamples: !sample");
        return 0;
    }
    AudioSample* sample = samples.front().first;
    if (sample == nullptr) {
        EngineTrace("WaveAudioSink::RenderAudioSamples: !sample");
        return 0;
    }
    plat::WaveHeader* header = GetFreeBuffer();
    if (header == nullptr) {
        return 0;
    }
    if (!IsDeviceOpen() || bStopSinkThread || bClosing) {
        // Marked done so a stop does not wait for it; it stays off the free list.
        plat::SetHeaderFlags(*header, plat::WHDR_DONE);
        return 0;
    }
    uint32_t size = frameSize.load();
    uint32_t n;
    if (sample->GetDataSize() > 0) {
        n = std::min<uint32_t>(size, static_cast<uint32_t>(sample->GetDataSize()));
        Trace(TRACE_DETAIL, "RenderAudioSamples : memcpy(0x%x, 0x%x, %d)\n", header->lpData,
              sample->GetData(), n);
        std::memcpy(header->lpData, sample->GetData(), n);
    } else {
        n = std::min<uint32_t>(size, static_cast<uint32_t>(std::max(0, sample->GetSilenceBytes())));
        Trace(TRACE_DETAIL, "RenderAudioSamples : memset(0x%x, 0, %d)\n", header->lpData, n);
        std::memset(header->lpData, 0, n);
    }
    header->dwBufferLength = n;

    plat::MMRESULT mr;
    intptr_t handle = 0;
    {
        Trace(TRACE_DETAIL, "RenderAudioSamples : Entering dataMutex\n");
        std::lock_guard<plat::CriticalSection> data(dataMutex);
        Trace(TRACE_DETAIL, "RenderAudioSamples : waveOutWrite\n");
        mr = hWaveOut ? hWaveOut->Write(header) : plat::MMSYSERR_INVALHANDLE;
        handle = hWaveOut ? hWaveOut->Handle() : 0;
        Trace(TRACE_DETAIL, "RenderAudioSamples : ~waveOutWrite\n");
        Trace(TRACE_DETAIL, "RenderAudioSamples : Left dataMutex\n");
    }
    if (mr != plat::MMSYSERR_NOERROR) {
        if (mr == plat::MMSYSERR_INVALHANDLE) {
            EngineTrace("WaveAudioSink::RenderAudioSamples: !waveOutWrite (MMSYSERR_INVALHANDLE), "
                        "hWaveOut=",
                        static_cast<int64_t>(handle));
        } else {
            EngineTrace("WaveAudioSink::RenderAudioSamples: !waveOutWrite, mmr=", mr);
        }
        EngineTrace("WaveAudioSink::RenderAudioSamples: !waveOutWrite");
        // Not on the device: marked done so that a stop does not wait for it.
        plat::SetHeaderFlags(*header, plat::WHDR_DONE);
        return 0;
    }
    g_bytesPlayed.fetch_add(n);
    return 0;
}

int WaveAudioSink::OpenRender(const char* handler) {
    int begin = BeginAudioRender();
    if (begin == 0) {
        std::lock_guard<plat::CriticalSection> data(dataMutex);
        bOpen = true;
    } else {
        Trace(TRACE_FAILURE, "%s : e-BeginAudioRender : %d 0x%x\n", handler, begin, begin);
    }
    return begin;
}

int WaveAudioSink::StopHandler(const char* handler, const char* notRunning) {
    Trace(TRACE_ENTRY, "%s\n", handler);
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    Trace(TRACE_LOCKS, "%s : entered filterMutex\n", handler);
    int result = 0;
    if (!IsOpen()) {
        Trace(TRACE_FAILURE, "%s", notRunning);
        result = -10;
    } else {
        int end = EndAudioRender();
        if (end == 0) {
            std::lock_guard<plat::CriticalSection> data(dataMutex);
            bOpen = false;
        } else {
            Trace(TRACE_FAILURE, "%s : e-EndAudioRender : %d 0x%x\n", handler, end, end);
            result = -20;
        }
    }
    Trace(TRACE_LOCKS, "%s : left filterMutex\n", handler);
    Trace(TRACE_ENTRY, "~%s : returning %d\n", handler, result);
    return result;
}

int WaveAudioSink::SinkThreadStarted(AudioThreadHandle handle, uint32_t) {
    LoadTraceLevel();
    Trace(TRACE_ENTRY, "SinkThreadStarted\n");
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    Trace(TRACE_LOCKS, "SinkThreadStarted : entered filterMutex\n");
    if (handle != nullptr && !handle->SetPriority(plat::ThreadPriority::TimeCritical)) {
        Trace(TRACE_FAILURE, "SinkThreadStarted : e-SetThreadPriority : %d 0x%x\n", 1, 1);
    }
    int result = OpenRender("SinkThreadStarted") == 0 ? 0 : -10;
    Trace(TRACE_LOCKS, "SinkThreadStarted : left filterMutex\n");
    Trace(TRACE_ENTRY, "~SinkThreadStarted : returning %d\n", result);
    return result;
}

int WaveAudioSink::SinkThreadStopped(AudioThreadHandle, uint32_t) {
    return StopHandler("SinkThreadStopped", "SinkThreadStopped : not running\n");
}

int WaveAudioSink::SinkStarted() {
    Trace(TRACE_ENTRY, "SinkStarted\n");
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    Trace(TRACE_LOCKS, "SinkStarted : entered filterMutex\n");
    int result = 0;
    if (IsOpen()) {
        Trace(TRACE_FAILURE, "SinkStarted : e-error : already running\n");
        result = -10;
    } else if (OpenRender("SinkStarted") != 0) {
        result = -20;
    }
    Trace(TRACE_LOCKS, "SinkStarted : left filterMutex\n");
    Trace(TRACE_ENTRY, "~SinkStarted : returning %d\n", result);
    return result;
}

int WaveAudioSink::SinkStopped() {
    return StopHandler("SinkStopped", "SinkStopped : e-error : not running\n");
}

int WaveAudioSink::StopSinkThread() {
    if (bSinkThreadRunning) {
        bStopSinkThread = true;
        // Wakes a wait for a free buffer at once instead of after up to a second.
        bufferEvent.Set();
        while (bSinkThreadRunning) {
            plat::SleepMs(10);
        }
    }
    return AudioSink::StopSinkThread();
}

} // namespace tamsor
