#pragma once

#include <exception>
#include <stdexcept>
#include <string>

#include "errorcatalog.h"

namespace platform {

// A failure of the operating system, of a platform service or of the program's lower layers.
// It carries its text by code (errorcatalog.h), so that the window can say it in the user's
// language; what() is the English text, which the command-line tool prints. A platform
// service's own words travel as they are (ErrorCode::ServiceText). The program's failures
// that the message table names by number are EkException instead.
class SystemError : public std::runtime_error {
public:
    explicit SystemError(const std::string& serviceText)
        : SystemError(CodedText::service(QString::fromStdString(serviceText))) {}
    explicit SystemError(CodedText text)
        : SystemError(Frame{ErrorCode::ServiceText}, std::move(text)) {}
    SystemError(ErrorCode code, QStringList args) : SystemError(CodedText{code, std::move(args)}) {}

    // The failure itself: its code, arguments and reason.
    const CodedText& coded() const { return text_; }
    ErrorCode code() const { return text_.code; }
    // The whole text the user is told: the failure, within its frame where it has one.
    CodedText said() const { return framed(frame_, text_); }
    QString text(bool japanese) const { return errorText(said(), japanese); }

protected:
    // A failure said within a text of its own (MidiSystemFailure); ServiceText for none.
    struct Frame {
        ErrorCode code;
    };
    SystemError(Frame frame, CodedText text)
        : std::runtime_error(errorText(framed(frame.code, text), false).toStdString()),
          frame_(frame.code),
          text_(std::move(text)) {}

private:
    static CodedText framed(ErrorCode frame, const CodedText& text) {
        return frame == ErrorCode::ServiceText ? text : CodedText{frame}.because(text);
    }

    ErrorCode frame_;
    CodedText text_;
};

// A failure said within the program's own words about it, whose kind stays that of the
// failure that caused it: a change the keyboard did not confirm for want of an answer
// (ChangeUnconfirmed, DeleteUnconfirmed, caused by a time-out), or a change that failed after
// it had kept copies (KeptByChange, caused by whatever stopped it). A script's failure code is
// the cause's (msg/errortext.h), so a change fails with the same code whichever command made
// it; the user is told the whole text.
class CausedError : public SystemError {
public:
    CausedError(CodedText text, std::exception_ptr cause)
        : SystemError(std::move(text)), cause_(std::move(cause)) {}
    const std::exception_ptr& cause() const { return cause_; }

private:
    std::exception_ptr cause_;
};

// A failure of the MIDI service. The message is "MIDI SYSTEM ERROR: " followed by the service's
// own text (MidiSystemFailure), so the user can tell a cabling or driver problem from a
// keyboard that said no.
class MidiSystemError : public SystemError {
public:
    explicit MidiSystemError(const std::string& serviceText)
        : MidiSystemError(CodedText::service(QString::fromStdString(serviceText))) {}
    explicit MidiSystemError(CodedText text)
        : SystemError(Frame{ErrorCode::MidiSystemFailure}, std::move(text)) {}
    MidiSystemError(ErrorCode code, QStringList args)
        : MidiSystemError(CodedText{code, std::move(args)}) {}
};

// A failure of a file operation (`action`: CannotOpen, CannotRead...): the message names the
// file and gives the system's reason, or the program's own (a coded one).
class FileError : public SystemError {
public:
    FileError(ErrorCode action, const QString& fileName, const QString& systemReason)
        : SystemError(action, {fileName, systemReason}) {}
    FileError(ErrorCode action, const QString& fileName, CodedText reason)
        : SystemError(CodedText{action, {fileName}}.because(std::move(reason))) {}
};

}  // namespace platform
