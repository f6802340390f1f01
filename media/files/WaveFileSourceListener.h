#pragma once
#include <vector>

#include "platform/core/CriticalSection.h"

namespace tamsor {

class WaveFileSource;

// What a wave-file source tells its listeners: its thread started (FILE_STARTED) or ended
// (FILE_STOPPED). Both calls come on the source's thread while the source holds its start-stop
// lock, so a listener must not call back into the source's start or stop handlers.
class WaveFileSourceListener {
public:
    virtual ~WaveFileSourceListener() = default;
    virtual void FilePlayStarted(WaveFileSource* source, const char* fileName) = 0;
    virtual void FilePlayStopped(WaveFileSource* source, const char* fileName) = 0;
};

// The event-source base of the wave-file source: the listeners in the order of registration,
// without duplicates. It does not own them.
//
// Threads: AddListener on the owner's thread, FireEvent on the source's thread; listLock guards
// listeners and is held while the listeners are called.
class ListenerList {
public:
    enum Event { FILE_STARTED = 0, FILE_STOPPED = 1 };

    ListenerList() = default;
    virtual ~ListenerList();
    ListenerList(const ListenerList&) = delete;
    ListenerList& operator=(const ListenerList&) = delete;

    // Appends the listener unless it is registered already. Returns 0.
    int AddListener(WaveFileSourceListener* listener);

protected:
    // Calls FilePlayStarted or FilePlayStopped of every listener in order; other events call
    // nothing. Returns 0.
    int FireEvent(WaveFileSource* source, int event, const char* fileName);

private:
    std::vector<WaveFileSourceListener*> listeners;
    plat::CriticalSection listLock;
};

} // namespace tamsor
