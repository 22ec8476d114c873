#include "commandoutput.h"

#include "jsonoutput.h"

namespace cli {

CommandOutput::CommandOutput(QIODevice* standardOutput, QIODevice* standardError)
    : out_(standardOutput), err_(standardError) {}

void CommandOutput::line(const QString& text) {
    if (!json_) {
        out_ << text << '\n';
        out_.flush();  // a line at a time, as on a terminal: a script reading it sees each one
    }
}

void CommandOutput::error(const QString& text) {
    out_.flush();
    err_ << text << '\n';
    err_.flush();
}

void CommandOutput::printObject(const std::optional<CommandFailure>& failure) {
    QJsonObject object = object_;
    object["error"] =
        failure ? QJsonValue(QJsonObject{{"code", failure->code}, {"text", failure->text}})
                : QJsonValue();
    out_ << jsonoutput::line(object) << '\n';
    out_.flush();
}

void CommandOutput::print(const QString& text) {
    out_ << text;
    out_.flush();
}

}  // namespace cli
