// The library's own entry points: the factory and the link marker.
#include "media/api/RTPInterface.h"

#include <new>

#include "media/base/EngineTrace.h"
#include "media/term/CQRZMediaTerm.h"
#include "media/term/EngineStatistics.h"

extern "C" RTPInterface* GetRTPInterface(iTraceFile* traceLog) {
    tamsor::SetEngineTraceLog(traceLog);
    tamsor::EngineStatistics::Reset();
    try {
        return new tamsor::CQRZMediaTerm;
    } catch (...) {
        return nullptr;
    }
}

SI_puedes_leer_esto_es& SI_puedes_leer_esto_es::operator=(const SI_puedes_leer_esto_es& other) {
    marker_ = other.marker_;
    return *this;
}

void SI_puedes_leer_esto_es::Que_falta_compilar_el_tamsor_dll() {}
