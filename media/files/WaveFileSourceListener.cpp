#include "media/files/WaveFileSourceListener.h"

#include <algorithm>
#include <mutex>

namespace tamsor {

ListenerList::~ListenerList() {
    std::lock_guard<plat::CriticalSection> guard(listLock);
    listeners.clear();
}

int ListenerList::AddListener(WaveFileSourceListener* listener) {
    std::lock_guard<plat::CriticalSection> guard(listLock);
    if (listener != nullptr &&
        std::find(listeners.begin(), listeners.end(), listener) == listeners.end()) {
        listeners.push_back(listener);
    }
    return 0;
}

int ListenerList::FireEvent(WaveFileSource* source, int event, const char* fileName) {
    std::lock_guard<plat::CriticalSection> guard(listLock);
    for (WaveFileSourceListener* listener : listeners) {
        if (event == FILE_STARTED) {
            listener->FilePlayStarted(source, fileName);
        } else if (event == FILE_STOPPED) {
            listener->FilePlayStopped(source, fileName);
        }
    }
    return 0;
}

} // namespace tamsor
