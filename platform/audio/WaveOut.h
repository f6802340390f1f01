#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/WaveDevice.h"

namespace plat {

// A wave-out device: buffers (headers) are prepared, written in order and handed back marked
// WHDR_DONE, each with a WOM_DONE callback once its data has gone to the device. The results
// are the original's numbers (WaveHeader.h).
//
// Threads: see WaveDevice. The owner calls the operations; the callback runs on the device
// thread: WOM_OPEN first, WOM_DONE per header in write order (right after its data has gone to
// the device), WOM_CLOSE last, before Close returns. volume_ is guarded by lock_.
class WaveOut : public WaveDevice {
public:
    using Callback = void (*)(WaveOut* device, uint32_t message, void* instance,
                              WaveHeader* header);

    // The output devices of the current backend, in a stable order.
    static uint32_t GetNumDevs();
    static MMRESULT GetDevName(int device, std::string* name);

    WaveOut();
    // Resets and closes a device that is still open.
    ~WaveOut();

    // device: a number below GetNumDevs() or WAVE_MAPPER; callback may be null.
    MMRESULT Open(int device, const WaveDeviceFormat& format, Callback callback = nullptr,
                  void* instance = nullptr);
    MMRESULT PrepareHeader(WaveHeader* header);
    MMRESULT UnprepareHeader(WaveHeader* header);
    MMRESULT Write(WaveHeader* header);
    MMRESULT Pause();
    MMRESULT Restart();
    MMRESULT Reset();
    // Refuses with WAVERR_STILLPLAYING while headers are queued.
    MMRESULT Close();
    // Low word left, high word right; 0xFFFF is unchanged, 0 silent. Mono uses the low word.
    MMRESULT GetVolume(uint32_t* volume);
    MMRESULT SetVolume(uint32_t volume);

private:
    void Run();
    void ApplyVolume(uint8_t* data, size_t bytes, uint32_t volume) const;

    std::unique_ptr<PlaybackStream> stream_; // used only by the device thread once open
    uint32_t volume_ = 0xFFFFFFFFu;
    bool paused_ = false;
};

} // namespace plat
