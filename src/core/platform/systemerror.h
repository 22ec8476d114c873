#pragma once

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
    explicit SystemError(CodedText text) : SystemError(std::string(), std::move(text)) {}
    SystemError(ErrorCode code, QStringList args) : SystemError(CodedText{code, std::move(args)}) {}

    const CodedText& coded() const { return text_; }
    ErrorCode code() const { return text_.code; }
    // The text in the user's language, with `prefix` (said the same in every language) first.
    QString text(bool japanese) const {
        return QString::fromStdString(prefix_) + errorText(text_, japanese);
    }

protected:
    SystemError(std::string prefix, CodedText text)
        : std::runtime_error(prefix + errorText(text, false).toStdString()),
          prefix_(std::move(prefix)),
          text_(std::move(text)) {}

private:
    std::string prefix_;
    CodedText text_;
};

// A failure of the MIDI service. The message is "MIDI SYSTEM ERROR: " followed by the service's
// own text, so the user can tell a cabling or driver problem from a keyboard that said no.
class MidiSystemError : public SystemError {
public:
    explicit MidiSystemError(const std::string& serviceText)
        : MidiSystemError(CodedText::service(QString::fromStdString(serviceText))) {}
    explicit MidiSystemError(CodedText text) : SystemError(kPrefix, std::move(text)) {}
    MidiSystemError(ErrorCode code, QStringList args)
        : MidiSystemError(CodedText{code, std::move(args)}) {}

private:
    static constexpr const char* kPrefix = "MIDI SYSTEM ERROR: ";
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
