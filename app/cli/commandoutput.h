#pragma once

#include <QIODevice>
#include <QJsonObject>
#include <QString>
#include <QTextStream>
#include <optional>

namespace cli {

// nvbman-cli's exit status.
enum ExitCode { Success = 0, Failure = 1, BadUsage = 2 };

// A failure as --json reports it: a word that scripts can rely on, and the text.
struct CommandFailure {
    QString code;
    QString text;
};

// Where a command's words go. Its result has two forms: text lines on standard output, or
// with --json one JSON object printed once the command has ended (whatever happened); its
// messages go to standard error, written after what standard output holds so far, so that a
// terminal shows both in the order they were said.
class CommandOutput {
public:
    // Both devices are open for writing and outlive this object.
    CommandOutput(QIODevice* standardOutput, QIODevice* standardError);

    void setJson(bool json) { json_ = json; }
    bool json() const { return json_; }

    // A line of the text form; nothing with --json.
    void line(const QString& text);
    // The JSON form: what the command found or did, also when it fails afterwards.
    void setObject(const QJsonObject& object) { object_ = object; }
    // A message on standard error, in both forms.
    void error(const QString& text);

    // --json: the command's object with "error": null, or {"code", "text"} of the failure.
    void printObject(const std::optional<CommandFailure>& failure);
    // Text that is neither form (help, version): as it is.
    void print(const QString& text);

private:
    QTextStream out_;
    QTextStream err_;
    bool json_ = false;
    QJsonObject object_;
};

}  // namespace cli
