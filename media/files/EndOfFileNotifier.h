#pragma once
#include <cstdint>

namespace tamsor {

// What the media object offers to hear that a file play has ended: one hook for plays into the
// transmitted audio, one for plays into the received audio, each with the play's id.
class EndOfFileTarget {
public:
    virtual ~EndOfFileTarget() = default;
    virtual void FireEndOfFileTX(int32_t playId) = 0;
    virtual void FireEndOfFileRX(int32_t playId) = 0;
};

// The library-wide end-of-file notifier: reports the natural end of a play to the media object
// on a short thread of its own, so the play's own thread never waits for the media object.
//
// Threads: Initialise and Shutdown on the media object's thread (its constructor and
// destructor); Notify on a play's source thread; FireNow on the thread that stops a play;
// notifier threads run by themselves. Each generation of the notifier has its own state, whose
// lock guards the target, the pending count and the shutting-down flag; every notifier thread
// holds a reference to that state, so the lock outlives every thread that uses it.
class EndOfFileNotifier {
public:
    // Binds the notifier to a media object (a new generation; an earlier one is left to its
    // threads).
    static void Initialise(EndOfFileTarget* target);
    // Refuses new notices, then waits until no notifier thread is pending (polling every
    // 100 ms) and unbinds the media object.
    static void Shutdown();

    // Starts a notifier thread that calls FireEndOfFileRX (receive mark) or FireEndOfFileTX.
    // The thread is counted as pending before it is created. False when there is no media
    // object, the notifier is shutting down or no thread could be created.
    static bool Notify(int32_t playId, bool receiveMark);
    // Calls FireEndOfFileTX (transmit mark) or FireEndOfFileRX on the calling thread.
    static void FireNow(int32_t playId, bool transmitMark);

    // Notifier threads counted and not yet finished.
    static int PendingCount();
};

} // namespace tamsor
