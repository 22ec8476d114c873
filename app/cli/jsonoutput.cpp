#include "jsonoutput.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>

#include "msg/msgstr.h"

namespace jsonoutput {

QJsonObject jobOutcomes(const QString& folder, const std::vector<backup::Outcome>& outcomes,
                        const MsgStr& messages) {
    QJsonArray items;
    for (const backup::Outcome& outcome : outcomes) {
        const bool saved = !outcome.failed();
        items.append(QJsonObject{
            {"slot", outcome.slot.kind.isEmpty() ? QJsonValue() : QJsonValue(outcome.slot.text())},
            {"file", outcome.file.isEmpty() ? QJsonValue()
                                            : QJsonValue(QDir::toNativeSeparators(
                                                  QDir(folder).absoluteFilePath(outcome.file)))},
            {"error", saved ? QJsonValue() : QJsonValue(messages.codedText(*outcome.error))},
            {"code", saved ? QJsonValue() : QJsonValue(outcome.code)},
            {"warning",
             outcome.warning ? QJsonValue(messages.codedText(*outcome.warning)) : QJsonValue()},
            {"identical", outcome.identical},
            {"removed", outcome.removed},
            {"keptCopy",
             outcome.keptCopy != 0 ? QJsonValue(qint64(outcome.keptCopy)) : QJsonValue()},
            {"retried", outcome.retried}});
    }
    return {{"folder", QDir::toNativeSeparators(QDir(folder).absolutePath())}, {"items", items}};
}

QJsonObject device(int number, const QString& name) {
    return {{"number", number}, {"name", name}};
}

QJsonObject devices(const QStringList& inputs, const QStringList& outputs) {
    const auto list = [](const QStringList& names) {
        QJsonArray array;
        for (int i = 0; i < names.size(); ++i) {
            array.append(device(i, names[i]));
        }
        return array;
    };
    return {{"inputs", list(inputs)}, {"outputs", list(outputs)}};
}

QByteArray line(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

}  // namespace jsonoutput
