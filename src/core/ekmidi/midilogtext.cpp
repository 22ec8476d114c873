#include "midilogtext.h"

#include <QDateTime>

#include "sysex/sysexdescription.h"

namespace midilogtext {

Fields fieldsOf(const platform::MidiLog::Entry& entry) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        entry.time.time_since_epoch())
                        .count();
    const QString time = QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss.zzz"));
    if (entry.direction == platform::MidiLog::Direction::Note) {
        return {time, QStringLiteral("--"), {}, entry.note};
    }
    return {time,
            entry.direction == platform::MidiLog::Direction::In ? QStringLiteral("in")
                                                                : QStringLiteral("out"),
            QString::fromStdString(sysex::hexBytes(entry.bytes)),
            QString::fromStdString(sysex::describeMessage(entry.bytes))};
}

QString lineOf(const platform::MidiLog::Entry& entry) {
    const Fields fields = fieldsOf(entry);
    return QStringLiteral("%1 %2 %3 | %4")
        .arg(fields.time, fields.direction.leftJustified(3), fields.bytes, fields.meaning);
}

}  // namespace midilogtext
