#pragma once

#include "platform/errorcatalog.h"
#include "slotaddress.h"

// The keyboard answers neither a deletion nor the End of a send, so the program asks afterwards
// whether the slot shows the change. When those questions go unanswered (each asked three
// times) or the MIDI service fails, the change may or may not have been made: that is said as
// it is, never as a plain time-out, which would read as "nothing happened".
namespace unconfirmed {

// Inside a catch block of the failure met while asking: a lost link (no answer in time, the
// MIDI service failed) becomes platform::CausedError `code` (ChangeUnconfirmed,
// DeleteUnconfirmed) for `slot`, with that failure as its reason and cause; any other failure
// goes on as it is.
[[noreturn]] void rethrowFor(platform::ErrorCode code, const SlotAddress& slot);

}  // namespace unconfirmed
