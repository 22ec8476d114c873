#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <vector>

#include "backup/keyboardbackup.h"

// The command-line tool's --json output: one compact JSON object per command on stdout, with the
// schema of its manual page. Paths are absolute and in the system's own separators.
class MsgStr;

namespace jsonoutput {

// {"folder": DIR, "items": [{"slot", "file" (path, null when none), "error" (null on success,
// said by `messages`), "code" (the error's word, null on success), "warning" (null when none),
// "identical" (a restore found the item there already), "removed" (an exact restore deleted the
// keyboard's item), "keptCopy" (a restore kept what it replaced; null when nothing), "retried"}]}:
// import, backup and restore.
QJsonObject jobOutcomes(const QString& folder, const std::vector<backup::Outcome>& outcomes,
                        const MsgStr& messages);

// {"inputs": [{"number", "name"}], "outputs": [...]}
QJsonObject devices(const QStringList& inputs, const QStringList& outputs);

// {"number", "name"}
QJsonObject device(int number, const QString& name);

// The object as one line of compact JSON, without the line's end.
QByteArray line(const QJsonObject& object);

}  // namespace jsonoutput
