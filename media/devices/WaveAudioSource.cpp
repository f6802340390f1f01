#include "media/devices/WaveAudioSource.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "media/base/EngineTrace.h"
#include "media/base/RegistryValues.h"
#include "media/devices/WaveDeviceCalls.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "platform/audio/CaptureMixer.h"
#include "platform/core/Clock.h"
#include "platform/core/Thread.h"

namespace tamsor {

namespace {

std::atomic<uint64_t> g_bytesCaptured{0};

} // namespace

WaveAudioSource::WaveAudioSource()
    : buffers(new char[static_cast<size_t>(kMaxBuffers) * kBufferCapacity]()) {
    SetComponentNameFor("WaveAudioSource", this);
    SetThreadName("microphone");
    Trace(TRACE_ENTRY, "Constructor begin\n");
    SetFormat(FORMAT_PCM16);
}

WaveAudioSource::~WaveAudioSource() {
    // The thread works on this object's buffers: it ends first; the close runs under
    // filterMutex so no handler or mixer walk is still inside.
    StopSourceThread();
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    EndAudioCapture();
}

int WaveAudioSource::LoadTraceLevel() {
    return LoadTraceLevelFrom(kRegTraceWaveAudioSource);
}

uint64_t WaveAudioSource::GetBytesCaptured() {
    return g_bytesCaptured.load();
}

void WaveAudioSource::ResetBytesCaptured() {
    g_bytesCaptured.store(0);
}

int WaveAudioSource::SetFormat(unsigned codecId) {
    Trace(TRACE_ENTRY, "SetFormat %d : bRunning = %d\n", codecId, bRunning.load() ? 1 : 0);
    if (!bRunning) {
        format = MakeWaveFormat(codecId);
    }
    Trace(TRACE_ENTRY, "~SetFormat\n");
    return 0;
}

int WaveAudioSource::SetDeviceID(int device) {
    deviceId = device;
    return 0;
}

int WaveAudioSource::SetBufferSize(unsigned bytes) {
    if (bRunning) {
        return 0;
    }
    // A buffer holds at most 3200 bytes, and records at least one whole block.
    uint32_t block = std::max<uint32_t>(format.nBlockAlign, 1);
    uint32_t size = std::min<uint32_t>(bytes, kBufferCapacity);
    size -= size % block;
    bufferSize = std::max(size, block);
    return 0;
}

bool WaveAudioSource::IsDeviceOpen() {
    std::lock_guard<plat::CriticalSection> device(waveInMutex);
    return hWaveIn != nullptr;
}

int WaveAudioSource::BeginAudioCapture() {
    {
        std::lock_guard<plat::CriticalSection> list(bufferListMutex);
        buffersToAdd.clear();
    }
    sampleManager = AudioSampleManager::GetInstance();
    TraceWaveFormat(*this, TRACE_LOCKS, format);
    plat::WaveDeviceFormat deviceFormat = ToDeviceFormat(format);
    auto device = std::make_unique<plat::WaveIn>();
    plat::MMRESULT mr = device->Open(deviceId.load(), deviceFormat, WaveInCallback, this);
    if (mr != plat::MMSYSERR_NOERROR) {
        TraceWaveFormat(*this, TRACE_FAILURE, format);
        plat::SleepMs(1000);
        mr = device->Open(deviceId.load(), deviceFormat, WaveInCallback, this);
        if (mr != plat::MMSYSERR_NOERROR) {
            TraceWaveFormat(*this, TRACE_FAILURE, format);
            EngineTrace("WaveAudioSource::BeginAudioCapture: !waveInOpen, mr =", mr);
            return -10;
        }
    }
    {
        std::lock_guard<plat::CriticalSection> lock(waveInMutex);
        hWaveIn = std::move(device);
        bEnabled = true;
        uint32_t size = bufferSize.load();
        for (int i = 0; i < numBuffers; ++i) {
            plat::WaveHeader& header = headers[i];
            header = plat::WaveHeader{};
            header.lpData = buffers.get() + static_cast<size_t>(i) * kBufferCapacity;
            header.dwBufferLength = size;
            header.dwUser = static_cast<uintptr_t>(i);
            if (hWaveIn->PrepareHeader(&header) == plat::MMSYSERR_NOERROR) {
                AddBuffer(i);
            }
        }
        mr = hWaveIn->Start();
    }
    if (mr != plat::MMSYSERR_NOERROR) {
        EngineTrace("WaveAudioSource::BeginAudioCapture: !waveInStart, mr =", mr);
        // The start fails: the device does not stay open behind it.
        EndAudioCapture();
        return -20;
    }
    return 0;
}

int WaveAudioSource::EndAudioCapture() {
    std::unique_ptr<plat::WaveIn> closed;
    {
        std::lock_guard<plat::CriticalSection> lock(waveInMutex);
        if (!hWaveIn) {
            return 0;
        }
        bEnabled = false;
        RetryDeviceCall(kDeviceTries, kDeviceRetryMs, [&] { return hWaveIn->Reset(); });
        for (int i = 0; i < numBuffers; ++i) {
            RetryDeviceCall(kDeviceTries, kDeviceRetryMs,
                            [&] { return hWaveIn->UnprepareHeader(&headers[i]); });
        }
        RetryDeviceCall(kDeviceTries, kDeviceRetryMs, [&] { return hWaveIn->Close(); });
        // A device that refused to close is closed by force as the object goes.
        closed = std::move(hWaveIn);
        closed.reset();
    }
    return 0;
}

int WaveAudioSource::AddBuffer(int index) {
    Trace(TRACE_DETAIL, "AddBuffer %d\n", index);
    if (index < 0 || index >= numBuffers) {
        return -10;
    }
    {
        Trace(TRACE_DETAIL, "AddBuffer : Entering waveInMutex\n");
        std::lock_guard<plat::CriticalSection> lock(waveInMutex);
        if (bEnabled && hWaveIn) {
            Trace(TRACE_DETAIL, "AddBuffer : waveInAddBuffer\n");
            plat::MMRESULT mr = hWaveIn->AddBuffer(&headers[index]);
            Trace(TRACE_DETAIL, "AddBuffer : ~waveInAddBuffer\n");
            Trace(TRACE_DETAIL, "AddBuffer : Left waveInMutex\n");
            if (mr != plat::MMSYSERR_NOERROR) {
                Trace(TRACE_FAILURE, "AddBuffer : e-waveInAddBuffer : 0x%x\n", mr);
                return -10;
            }
            Trace(TRACE_DETAIL, "~AddBuffer\n");
            return 0;
        }
        Trace(TRACE_DETAIL, "AddBuffer : !bEnabled. Left waveInMutex. Putting buffer back in "
                            "buffersToAdd\n");
    }
    {
        Trace(TRACE_DETAIL, "AddBuffer : Entering bufferListMutex\n");
        std::lock_guard<plat::CriticalSection> list(bufferListMutex);
        buffersToAdd.push_back(&headers[index]);
        Trace(TRACE_DETAIL, "AddBuffer : Left bufferListMutex\n");
    }
    dataEvent.Set();
    Trace(TRACE_DETAIL, "~AddBuffer\n");
    return 0;
}

void WaveAudioSource::WaveInCallback(plat::WaveIn*, uint32_t message, void* instance,
                                     plat::WaveHeader* header) {
    auto* source = static_cast<WaveAudioSource*>(instance);
    source->Trace(TRACE_DETAIL, "WaveInCallback\n");
    if (message == plat::WIM_DATA) {
        source->Trace(TRACE_DETAIL, "WaveInCallback : WIM_DATA %d\n",
                      static_cast<int>(header->dwUser));
        g_bytesCaptured.fetch_add(header->dwBytesRecorded);
        if (header->dwBytesRecorded == 0) {
            EngineTrace("WaveAudioSource::WaveInCallback: dwBytesRecorded == 0");
        }
        {
            std::lock_guard<plat::CriticalSection> list(source->bufferListMutex);
            source->buffersToAdd.push_back(header);
        }
        source->dataEvent.Set();
    } else if (message == plat::WIM_CLOSE) {
        source->Trace(TRACE_DETAIL, "WaveInCallback : WIM_CLOSE\n");
        source->dataEvent.Set();
    } else if (message == plat::WIM_OPEN) {
        source->Trace(TRACE_DETAIL, "WaveInCallback : WIM_OPEN\n");
    }
    source->Trace(TRACE_DETAIL, "~WaveInCallback\n");
}

int WaveAudioSource::GenerateData(AudioSample** out) {
    *out = nullptr;
    try {
        bool waited = false;
        plat::WaveHeader* header = nullptr;
        for (;;) {
            bool enabled;
            {
                std::lock_guard<plat::CriticalSection> lock(waveInMutex);
                enabled = bEnabled;
            }
            // A stop request ends the wait too, so a device that no longer delivers cannot
            // hold the thread (and its stop) for ever.
            if (!enabled || bStopSourceThread) {
                if (waited) {
                    dataEvent.Set(); // pass the wake-up on
                }
                return 0;
            }
            {
                std::lock_guard<plat::CriticalSection> list(bufferListMutex);
                if (!buffersToAdd.empty()) {
                    header = buffersToAdd.front();
                    buffersToAdd.pop_front();
                    break;
                }
            }
            dataEvent.Wait(kDataWaitMs);
            Trace(TRACE_DETAIL, "GenerateData : Got dataEvent\n");
            waited = true;
        }
        uint32_t recorded = header->dwBytesRecorded;
        if (recorded == 0) {
            EngineTrace("WaveAudioSource::GenerateData: dwBytesRecorded == 0");
        }
        AudioSample* sample = nullptr;
        if (sampleManager == nullptr || sampleManager->GetAudioSample(&sample, this) != 0 ||
            sample == nullptr) {
            AddBuffer(static_cast<int>(header->dwUser));
            return -1;
        }
        *out = sample;
        sample->SetFormat(format);
        uint32_t bytesToFill = std::min<uint32_t>(
            {recorded, static_cast<uint32_t>(sample->GetBufferSize()), bufferSize.load()});
        if (bytesToFill == 0) {
            EngineTrace("WaveAudioSource::GenerateData: bytesToFill == 0");
        }
        sample->SetDataSize(static_cast<int>(bytesToFill));

        bool canEncode = false;
        uint32_t step = std::max<uint32_t>(format.wBitsPerSample / 8, 1);
        for (uint32_t i = 0; i + 2 <= bytesToFill; i += step) {
            int16_t value;
            std::memcpy(&value, header->lpData + i, 2);
            if (std::abs(static_cast<int>(value)) > 4) {
                canEncode = true;
                break;
            }
        }
        if (!canEncode) {
            EngineTrace("WaveAudioSource::GenerateData: !canEncode");
        }
        if (micLevel.load() > 0 && canEncode) {
            std::memcpy(sample->GetData(), header->lpData, bytesToFill);
        } else {
            sample->SetSilenceMs(sample->GetDurationMs());
            sample->SetDataSize(0);
        }
        AddBuffer(static_cast<int>(header->dwUser));
        return 0;
    } catch (...) {
        EngineTrace("WaveAudioSource::GenerateData: exception 1");
        return -1;
    }
}

void WaveAudioSource::ApplyMixerLevel(unsigned level) {
    plat::CaptureMixer mixer;
    plat::MMRESULT mr;
    {
        std::lock_guard<plat::CriticalSection> lock(waveInMutex);
        mr = hWaveIn ? mixer.Open(*hWaveIn) : plat::MMSYSERR_INVALHANDLE;
    }
    if (mr != plat::MMSYSERR_NOERROR) {
        Trace(TRACE_FAILURE, "SetVolume : e-mixerOpen : %d\n", mr);
        return;
    }
    Trace(TRACE_DETAIL, "SetVolume : mixerOpen succeeded\n");
    // The level is a percentage: anything above 100 is full scale.
    const uint32_t value = std::min(level, 100u) * 65535u / 100u;
    const uint32_t mute = level == 0 ? 1 : 0;

    plat::MixerLineInfo destination;
    mr = mixer.GetLineInfoByComponentType(plat::MIXERLINE_COMPONENTTYPE_DST_WAVEIN, &destination);
    if (mr == plat::MMSYSERR_NOERROR) {
        Trace(TRACE_DETAIL, "SetVolume : mixerGetLineInfo succeeded. numConnections = %d\n",
              destination.connections);
        bool written = false;
        for (uint32_t s = 0; s < destination.connections; ++s) {
            plat::MixerLineInfo line;
            if (mixer.GetSourceLineInfo(destination.destination, s, &line) !=
                plat::MMSYSERR_NOERROR) {
                continue;
            }
            Trace(TRACE_DETAIL,
                  "SetVolume : mixerGetLineInfo succeeded. dwComponentType %d = 0x%x\n", s,
                  line.componentType);
            if (line.componentType != plat::MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE &&
                line.componentType != plat::MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED) {
                continue;
            }
            plat::MixerControlInfo control;
            uint32_t current = 0;
            if ((mr = mixer.GetLineControlByType(line.lineId, plat::MIXERCONTROL_CONTROLTYPE_VOLUME,
                                                 &control)) != plat::MMSYSERR_NOERROR) {
                Trace(TRACE_FAILURE,
                      "SetVolume : e-mixerGetLineControls((HMIXEROBJ)hMixer,&mxlc, "
                      "MIXER_GETLINECONTROLSF_ONEBYTYPE) : %d. Could not get "
                      "MIXERCONTROL_CONTROLTYPE_VOLUME\n",
                      mr);
                break;
            }
            if ((mr = mixer.GetControlDetails(control.controlId, &current)) !=
                plat::MMSYSERR_NOERROR) {
                Trace(TRACE_FAILURE,
                      "SetVolume : e-mixerGetControlDetails((HMIXEROBJ)hMixer, &mxcd, "
                      "MIXER_GETCONTROLDETAILSF_VALUE) : %d\n",
                      mr);
                break;
            }
            if ((mr = mixer.SetControlDetails(control.controlId, value)) !=
                plat::MMSYSERR_NOERROR) {
                Trace(TRACE_FAILURE,
                      "SetVolume : e-mixerSetControlDetails((HMIXEROBJ)hMixer, &mxcd, "
                      "MIXER_SETCONTROLDETAILSF_VALUE) : %d\n",
                      mr);
                break;
            }
            written = true;
            if (mixer.GetLineControlByType(line.lineId, plat::MIXERCONTROL_CONTROLTYPE_MUTE,
                                           &control) == plat::MMSYSERR_NOERROR) {
                mixer.GetControlDetails(control.controlId, &current);
                mixer.SetControlDetails(control.controlId, mute);
                mixer.Close();
                return;
            }
            if (line.componentType == plat::MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE) {
                mixer.Close();
                return;
            }
        }
        if (written) {
            mixer.Close();
            return;
        }
    } else {
        Trace(TRACE_FAILURE,
              "SetVolume : e-mixerGetLineInfo((HMIXEROBJ)hMixer, &mxl, "
              "MIXER_GETLINEINFOF_COMPONENTTYPE) : %d\n",
              mr);
    }

    // No source line took the level: set it on the wave-in line itself.
    plat::MixerControlInfo control;
    uint32_t current = 0;
    if (mixer.GetLineInfoByComponentType(plat::MIXERLINE_COMPONENTTYPE_DST_WAVEIN, &destination) ==
            plat::MMSYSERR_NOERROR &&
        mixer.GetLineControlByType(destination.lineId, plat::MIXERCONTROL_CONTROLTYPE_VOLUME,
                                   &control) == plat::MMSYSERR_NOERROR &&
        mixer.GetControlDetails(control.controlId, &current) == plat::MMSYSERR_NOERROR &&
        mixer.SetControlDetails(control.controlId, value) == plat::MMSYSERR_NOERROR &&
        mixer.GetLineControlByType(destination.lineId, plat::MIXERCONTROL_CONTROLTYPE_MUTE,
                                   &control) == plat::MMSYSERR_NOERROR &&
        mixer.GetControlDetails(control.controlId, &current) == plat::MMSYSERR_NOERROR) {
        mixer.SetControlDetails(control.controlId, mute);
    }
    mixer.Close();
}

int WaveAudioSource::SetVolume(unsigned level) {
    // Serialised with the start and stop handlers, so the device cannot close under the walk.
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    if (!bRunning) {
        micLevel = level;
        volumePending = true;
        return 0;
    }
    ApplyMixerLevel(level);
    micLevel = level;
    return 0;
}

int WaveAudioSource::OpenCapture(const char* handler) {
    int begin = BeginAudioCapture();
    if (begin == 0) {
        bRunning = true;
        if (volumePending) {
            ApplyMixerLevel(micLevel.load());
            volumePending = false;
        }
    } else {
        Trace(TRACE_FAILURE, "%s : e-BeginAudioCapture : %d 0x%x\n", handler, begin, begin);
    }
    return begin;
}

int WaveAudioSource::SourceThreadStarted(AudioThreadHandle handle, uint32_t) {
    LoadTraceLevel();
    Trace(TRACE_ENTRY, "SourceThreadStarted\n");
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    Trace(TRACE_LOCKS, "SourceThreadStarted : entered filterMutex\n");
    if (handle != nullptr && !handle->SetPriority(plat::ThreadPriority::TimeCritical)) {
        const int error = EPERM; // real-time priority is refused to this process
        Trace(TRACE_FAILURE, "SourceThreadStarted : e-SetThreadPriority : %d 0x%x\n", error, error);
        EngineTrace("WaveAudioSource::SourceThreadStarted (1), GetLastError=", error);
    }
    int result = 0;
    int begin = OpenCapture("SourceThreadStarted");
    if (begin != 0) {
        EngineTrace("WaveAudioSource::SourceThreadStarted (2), returnCode=", begin);
        result = -10;
    }
    Trace(TRACE_LOCKS, "SourceThreadStarted : left filterMutex\n");
    Trace(TRACE_ENTRY, "~SourceThreadStarted : returning %d\n", result);
    return result;
}

int WaveAudioSource::SourceThreadStopped(AudioThreadHandle, uint32_t) {
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    if (!bRunning) {
        return -10;
    }
    EndAudioCapture();
    volumePending = false;
    bRunning = false;
    return 0;
}

int WaveAudioSource::SourceStarted() {
    Trace(TRACE_ENTRY, "SourceStarted\n");
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    Trace(TRACE_LOCKS, "SourceStarted : entered filterMutex\n");
    int result = 0;
    if (bRunning) {
        Trace(TRACE_FAILURE, "SourceStarted : e-error : already running\n");
        result = -10;
    } else if (OpenCapture("SourceStarted") != 0) {
        result = -20;
    }
    Trace(TRACE_LOCKS, "SourceStarted : left filterMutex\n");
    Trace(TRACE_ENTRY, "~SourceStarted : returning %d\n", result);
    return result;
}

int WaveAudioSource::SourceStopped() {
    Trace(TRACE_ENTRY, "SourceStopped\n");
    int result = SourceThreadStopped(nullptr, 0);
    if (result != 0) {
        Trace(TRACE_FAILURE, "SourceStopped : e-error : not running\n");
    }
    Trace(TRACE_ENTRY, "~SourceStopped : returning %d\n", result);
    return result;
}

int WaveAudioSource::StopSourceThread() {
    if (bSourceThreadRunning && IsDeviceOpen() && !bStopSourceThread) {
        bStopSourceThread = true;
        for (int i = 0; i < kStopWakes && bSourceThreadRunning; ++i) {
            dataEvent.Set();
            plat::SleepMs(kDeviceRetryMs);
        }
    }
    return AudioSource::StopSourceThread();
}

} // namespace tamsor
