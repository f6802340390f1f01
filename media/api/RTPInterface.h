#pragma once
#include <cstdint>

#include "media/api/iTraceFile.h"

#define TAMSOR_EXPORT __attribute__((visibility("default")))

namespace plat {
class AutoResetEvent;
}

// The media object of one call, as the program sees it. The order of the operations is the
// contract between the program and libTamsor: the program calls them through this table.
// Results are 0 for success and negative for a failure unless said otherwise.
class RTPInterface {
public:
    // Stops both chains, writes the closing statistics and frees the object.
    virtual void Release() = 0;
    virtual int SetReceiveCodec(int codec, int frameMs, int arg3, int arg4) = 0;
    virtual int SetTransmitCodec(int codec, int frameMs, int arg3, int vad, uint16_t arg5,
                                 int arg6) = 0;
    // `depthChanged` is signalled whenever the receive-buffer depth changes (may be null).
    virtual int SetAddresses(const char* remoteIp, int remotePort, int localPort,
                             plat::AutoResetEvent* depthChanged) = 0;
    virtual int PlayFile(const char* path, int once, int volume, int* playId) = 0;
    virtual bool StopFile(int playId) = 0;
    virtual int StartTX(int waveInDevice) = 0;
    virtual int StopTX() = 0;
    virtual int StartRX(int waveOutDevice, int jitterMs) = 0;
    virtual int StopRX() = 0;
    virtual int SetSpeakerVolume(int waveOutDevice, int volume) = 0;
    virtual int SetMicrophoneVolume(int waveInDevice, int level) = 0;
    virtual bool TestSpeaker() = 0;
    virtual bool TestMicrophone() = 0;
    virtual float GetReceiveQuality() = 0;

protected:
    // Freed only through Release.
    ~RTPInterface() = default;
};

// A new media object writing to `traceLog` (null: no trace), or null when it cannot be made.
extern "C" TAMSOR_EXPORT RTPInterface* GetRTPInterface(iTraceFile* traceLog);

// Link marker: the program calls the member once at start-up, so it cannot start without
// libTamsor.
class TAMSOR_EXPORT SI_puedes_leer_esto_es {
public:
    SI_puedes_leer_esto_es& operator=(const SI_puedes_leer_esto_es& other);
    void Que_falta_compilar_el_tamsor_dll();

private:
    char marker_ = 0;
};
