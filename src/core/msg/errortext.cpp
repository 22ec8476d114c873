#include "errortext.h"

#include <cstdint>
#include <exception>

#include "kbddrv/ekkbddrvexception.h"
#include "msg/msgstr.h"
#include "msg/operateexception.h"
#include "platform/cancellation.h"
#include "platform/keyboardsession.h"
#include "platform/systemerror.h"
#include "platform/userlocale.h"
#include "stream/nvbstreamexception.h"
#include "stream/nvbtransfer.h"
#include "sysex/ekexception.h"

namespace {

// The message table's coded texts are said wherever a coded text is, the English what() of an
// exception that holds one as its reason included.
QString ownTextOf(const platform::CodedText& text, bool japanese) {
    return MsgStr(japanese ? platform::kLocaleJapanese : platform::kLocaleEnglishUs).ownText(text);
}
const bool ownTextsInstalled = (platform::setOuterTexts(&ownTextOf), true);

}  // namespace

platform::CodedText currentError() {
    using platform::CodedText;
    using platform::ErrorCode;
    const auto numbered = [](ErrorCode group, std::int32_t number) {
        return CodedText{group, {QString::number(number)}};
    };
    try {
        throw;
    } catch (const EkSysExException& e) {
        return numbered(ErrorCode::KeyboardRefused, e.code());
    } catch (const EkKbdDrvException& e) {
        return numbered(ErrorCode::DriverRefused, e.code());
    } catch (const NvbStreamException& e) {
        return numbered(ErrorCode::StreamRefused, e.code());
    } catch (const OperateException& e) {
        return numbered(ErrorCode::OperationRefused, e.code());
    } catch (const platform::Cancelled&) {
        return CodedText{ErrorCode::Stopped};
    } catch (const transfer::SongSlotEmptied& e) {
        if (e.cancelled()) {
            return CodedText{ErrorCode::Stopped, {MsgStr::kStoppedSongSlotEmptied}};
        }
        try {
            std::rethrow_exception(e.cause());
        } catch (...) {
            return CodedText{ErrorCode::SongSlotEmptied}.because(currentError());
        }
    } catch (const platform::SystemError& e) {
        return e.said();
    } catch (const std::exception& e) {
        return CodedText::service(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return CodedText::service(QStringLiteral("Unknown error"));
    }
}

QString currentErrorText(const MsgStr& messages) {
    return messages.codedText(currentError());
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
    } catch (const platform::CausedError& e) {
        if (transfer::changeUnconfirmed()) {
            return QStringLiteral("unconfirmed");
        }
        try {
            std::rethrow_exception(e.cause());
        } catch (...) {
            return currentErrorCode();
        }
    } catch (const platform::SystemError&) {
        return transfer::changeNotShown() ? QStringLiteral("not-shown") : QStringLiteral("system");
    } catch (const std::exception&) {
        return QStringLiteral("system");
    } catch (...) {
        return QStringLiteral("unknown");
    }
}
