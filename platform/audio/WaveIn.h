#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/WaveDevice.h"

namespace plat {

// A wave-in device: prepared headers are added to a queue, filled in order once started, and
// handed back marked WHDR_DONE with dwBytesRecorded set, each with a WIM_DATA callback. Stop
// hands back the buffer being filled; Reset hands back every queued buffer. The results are
// the original's numbers (WaveHeader.h).
//
// Threads: see WaveDevice. The callback runs on the device thread: WIM_OPEN first, WIM_DATA
// per buffer in queue order (right after it is recorded), WIM_CLOSE last, before Close
// returns.
class WaveIn : public WaveDevice {
public:
    using Callback = void (*)(WaveIn* device, uint32_t message, void* instance, WaveHeader* header);

    static uint32_t GetNumDevs();
    static MMRESULT GetDevName(int device, std::string* name);

    WaveIn();
    // Resets and closes a device that is still open.
    ~WaveIn();

    MMRESULT Open(int device, const WaveDeviceFormat& format, Callback callback = nullptr,
                  void* instance = nullptr);
    MMRESULT PrepareHeader(WaveHeader* header);
    MMRESULT UnprepareHeader(WaveHeader* header);
    MMRESULT AddBuffer(WaveHeader* header);
    MMRESULT Start();
    MMRESULT Stop();
    MMRESULT Reset();
    // Refuses with WAVERR_STILLPLAYING while buffers are queued.
    MMRESULT Close();
    // The device number it was opened with (WAVE_MAPPER for the default).
    int DeviceId() const;

private:
    void Run();

    std::unique_ptr<CaptureStream> stream_; // used only by the device thread once open
    int deviceId_ = WAVE_MAPPER;
};

} // namespace plat
