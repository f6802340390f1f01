#pragma once
#include <string_view>

namespace sipua {

// Whether a datagram at the SIP port starts like a SIP message: a status line
// ("SIP/2.0 <three digits> ...") or a request line ("<method> <uri> SIP/2.0"), and its header
// ends with an empty line. A keep-alive of line ends alone also passes. What fails is dropped
// before libre's decoder, which would print a line to standard error for each.
bool LooksLikeSipMessage(std::string_view datagram);

} // namespace sipua
