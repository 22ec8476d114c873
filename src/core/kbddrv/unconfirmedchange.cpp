#include "unconfirmedchange.h"

#include <exception>

#include "platform/systemerror.h"
#include "sysex/ekexception.h"

namespace unconfirmed {

void rethrowFor(platform::ErrorCode code, const SlotAddress& slot) {
    platform::CodedText why;
    // Any other failure (the keyboard said no, a file) goes on as it is.
    try {
        throw;
    } catch (const EkSysExException& e) {
        if (e.code() != EkSysExException::Timeout) {
            throw;
        }
        why = {platform::ErrorCode::KeyboardRefused, {QString::number(e.code())}};
    } catch (const platform::MidiSystemError& e) {
        why = e.said();
    }
    throw platform::CausedError(platform::CodedText{code, {slot.text()}}.because(why),
                                std::current_exception());
}

}  // namespace unconfirmed
