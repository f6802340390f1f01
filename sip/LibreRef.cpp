#include "sip/LibreRef.h"

#include "sip/LibreApi.h"

namespace sipua {

void MemDeref::operator()(const void* object) const {
    mem_deref(const_cast<void*>(object));
}

void* MemRef(const void* object) {
    return mem_ref(const_cast<void*>(object));
}

} // namespace sipua
