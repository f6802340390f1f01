#pragma once

namespace sipua {

// Handed to the manager to have digest challenges (401, 407) answered with the master
// profile's credentials; a manager without one fails every challenged request. The
// challenge's own realm is used; a realm challenged again with a nonce not answered yet (an
// expired nonce) is answered again, and with the nonce already answered (not stale) it fails.
class ClientAuthManager {
public:
    virtual ~ClientAuthManager() = default;
};

} // namespace sipua
