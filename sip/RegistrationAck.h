#pragma once
#include "sip/MasterProfile.h"
#include "sip/NameAddr.h"
#include "sip/SipMessage.h"
#include "sip/SipStack.h"

namespace sipua {

// The ACK that answers every 2xx to a REGISTER: Request-URI, To, From and Contact are the
// address of record; To and From carry the tags of the 2xx's To and From (a header without a
// tag gives one without a tag); the 2xx's Call-ID; CSeq 1 ACK; the profile's User-Agent. It
// goes to the outbound proxy when one is set, else to the Request-URI. The stack adds Via and
// Max-Forwards when it sends it.
OutgoingRequest MakeRegistrationAck(const NameAddr& addressOfRecord, const SipMessage& response,
                                    const MasterProfile& profile);

} // namespace sipua
