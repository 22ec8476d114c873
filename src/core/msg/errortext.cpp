#include "errortext.h"

#include <exception>

#include "kbddrv/ekkbddrvexception.h"
#include "msg/msgstr.h"
#include "msg/operateexception.h"
#include "platform/cancellation.h"
#include "platform/keyboardsession.h"
#include "platform/systemerror.h"
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
    } catch (const platform::SystemError& e) {
        return e.text(messages.isJapanese());
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

QString currentErrorCode() {
    try {
        throw;
    } catch (const EkSysExException& e) {
        return e.code() == EkSysExException::Timeout ? QStringLiteral("timeout")
                                                     : QStringLiteral("keyboard");
    } catch (const EkKbdDrvException&) {
        return QStringLiteral("unknown-keyboard");
    } catch (const NvbStreamException& e) {
        switch (e.code()) {
            case NvbStreamException::NotNvbFile:
                return QStringLiteral("not-nvb-file");
            case NvbStreamException::TypeMismatch:
                return QStringLiteral("type-mismatch");
            default:
                return QStringLiteral("no-memory");
        }
    } catch (const OperateException&) {
        return QStringLiteral("operation");
    } catch (const platform::Cancelled&) {
        return QStringLiteral("cancelled");
    } catch (const transfer::SongSlotEmptied&) {
        return QStringLiteral("song-slot-emptied");
    } catch (const platform::KeyboardBusy&) {
        return QStringLiteral("busy");
    } catch (const DriverBusyError&) {
        return QStringLiteral("busy");
    } catch (const platform::MidiSystemError&) {
        return QStringLiteral("midi");
    } catch (const platform::FileError&) {
        return QStringLiteral("file");
    } catch (const platform::SystemError&) {
        return transfer::changeNotShown() ? QStringLiteral("not-shown") : QStringLiteral("system");
    } catch (const std::exception&) {
        return QStringLiteral("system");
    } catch (...) {
        return QStringLiteral("unknown");
    }
}
