#pragma once

namespace sipua {

// Told once, inside DialogUsageManager::process, that the manager has finished shutting down
// and may be deleted (with its stack).
class DumShutdownHandler {
public:
    virtual ~DumShutdownHandler() = default;
    virtual void onDumCanBeDeleted() = 0;
};

} // namespace sipua
