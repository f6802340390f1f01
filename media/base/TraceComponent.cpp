#include "media/base/TraceComponent.h"

#include <cstdio>
#include <cstring>

#include "media/base/RegistryValues.h"

namespace tamsor {

void TraceComponent::SetComponentName(const char* name) {
    if (!name) {
        componentName_[0] = '\0';
        return;
    }
    std::strncpy(componentName_, name, kMaxNameLength);
    componentName_[kMaxNameLength] = '\0';
}

void TraceComponent::SetComponentNameFor(const char* className, const void* object) {
    char name[kMaxNameLength + 1];
    std::snprintf(name, sizeof(name), "%s:%lx", className,
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(object)));
    SetComponentName(name);
}

int TraceComponent::LoadTraceLevelFrom(const char* valueName) {
    uint32_t level = GetRegistryDword(kRegTracingKey, kRegAllComponents, kDefaultAllComponents);
    if (level == 0) {
        level = GetRegistryDword(kRegTracingKey, valueName, kDefaultComponentTraceLevel);
    }
    SetTraceLevel(level);
    return 0;
}

} // namespace tamsor
