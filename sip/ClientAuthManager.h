#pragma once

namespace sipua {

// Handed to the manager to have digest challenges (401, 407) answered with the master
// profile's credentials; a manager without one fails every challenged request. The
// challenge's own realm is used, and a second challenge of the same realm that is not marked
// stale fails the request.
class ClientAuthManager {
public:
    virtual ~ClientAuthManager() = default;
};

} // namespace sipua
