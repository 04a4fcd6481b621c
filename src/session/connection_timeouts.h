#pragma once

#include "platform/async_socket.h"

// A client whose machine vanishes (a lid closed, a network gone) sends
// neither FIN nor RST, and would otherwise hold its session, and the file it
// was fetching, until the server stops. After two quiet minutes a probe every
// 30 s costs an idle client one small packet, which its kernel answers
// unseen. The control connection gives up after three minutes without a
// word, the data connection after five: so the session of a client that has
// gone ends through its control connection first, and the 426 that its
// broken data connection would bring never has to wait out a second timeout
// of its own; a client that only stopped reading gets that 426 on a control
// connection that still answers. The probe counts end at the same times where
// the kernel knows no user timeout.
struct ConnectionTimeouts {
    static constexpr PeerTimeouts kControl = {120, 30, 2, 180'000};
    static constexpr PeerTimeouts kData = {120, 30, 6, 300'000};
};
