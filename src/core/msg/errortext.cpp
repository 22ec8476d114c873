#include "errortext.h"

#include <exception>

#include "kbddrv/ekkbddrvexception.h"
#include "msg/msgstr.h"
#include "msg/operateexception.h"
#include "platform/cancellation.h"
#include "stream/nvbstreamexception.h"
#include "stream/nvbtransfer.h"
#include "sysex/ekexception.h"

QString currentErrorText(const MsgStr& messages) {
    try {
        throw;
    } catch (const EkSysExException& e) {
        return messages.sysExErrorText(e.code());
    } catch (const EkKbdDrvException& e) {
        return messages.kbdDrvErrorText(e.code());
    } catch (const NvbStreamException& e) {
        return messages.streamErrorText(e.code());
    } catch (const OperateException& e) {
        return messages.operateErrorText(e.code());
    } catch (const platform::Cancelled&) {
        return messages.cancelledText();
    } catch (const transfer::SongSlotEmptied& e) {
        if (e.cancelled()) {
            return messages.cancelledText(true);
        }
        QString cause;
        try {
            std::rethrow_exception(e.cause());
        } catch (...) {
            cause = currentErrorText(messages);
        }
        return cause + '\n' + messages.songSlotEmptiedText();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}
