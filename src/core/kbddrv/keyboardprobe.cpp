#include "keyboardprobe.h"

#include <QRegularExpression>

#include "ekkbd.h"
#include "platform/keyboardsession.h"
#include "platform/systemerror.h"
#include "sysex/ekexception.h"

namespace probe {
namespace {

// The kind an MLS-850 reports.
constexpr int kMls850Kind = 0;

// A device name's client and port parts, without the numbers ALSA adds ("USB MIDI:USB MIDI
// MIDI 1 24:0" → "USB MIDI", "USB MIDI MIDI 1") and the direction words a client name may
// carry ("nvbman-kbdsim-in-X" and "nvbman-kbdsim-out-X" belong together).
std::pair<QString, QString> parts(const QString& name) {
    static const QRegularExpression alsaAddress(QStringLiteral(" \\d+:\\d+$"));
    static const QRegularExpression direction(
        QStringLiteral("(^|[-_ ])(in|out|input|output|capture|playback)($|[-_ ])"),
        QRegularExpression::CaseInsensitiveOption);
    QString plain = name;
    plain.remove(alsaAddress);
    const qsizetype colon = plain.indexOf(':');
    QString client = colon < 0 ? plain : plain.left(colon);
    const QString port = colon < 0 ? QString() : plain.mid(colon + 1);
    client.replace(direction, QStringLiteral("\\1\\3"));
    return {client, port};
}

}  // namespace

bool namesBelongTogether(const QString& input, const QString& output) {
    if (input == output) {
        return true;
    }
    const auto [inClient, inPort] = parts(input);
    const auto [outClient, outPort] = parts(output);
    return (!inPort.isEmpty() && inPort == outPort) || (!inClient.isEmpty() && inClient == outClient);
}

Result testPair(int inputDevice, int outputDevice) {
    try {
        const platform::KeyboardSession session(outputDevice);
        EkKbd kbd;
        kbd.openPorts(inputDevice, outputDevice);
        const int kind = kbd.queryKeyboardKind();
        kbd.closePorts();
        return {kind == kMls850Kind ? Answer::Mls850 : Answer::OtherKind, kind, {}};
    } catch (const EkSysExException& e) {
        if (e.code() == EkSysExException::Timeout) {
            return {Answer::NoAnswer, -1, {}};
        }
        return {Answer::Unreadable, -1, {}};
    } catch (const std::exception&) {
        // The MIDI service's and the lock's errors: they name the device.
        return {Answer::DeviceError, -1, std::current_exception()};
    }
}

std::optional<Pair> findKeyboard(const QStringList& inputs, const QStringList& outputs,
                                 const QString& skipped,
                                 const std::function<void(const Pair&)>& tried) {
    std::vector<Pair> together;
    std::vector<Pair> others;
    for (int in = 0; in < inputs.size(); ++in) {
        for (int out = 0; out < outputs.size(); ++out) {
            if (inputs[in] == skipped || outputs[out] == skipped) {
                continue;
            }
            (namesBelongTogether(inputs[in], outputs[out]) ? together : others).push_back({in, out});
        }
    }
    together.insert(together.end(), others.begin(), others.end());
    for (const Pair& pair : together) {
        if (tried) {
            tried(pair);
        }
        if (testPair(pair.input, pair.output).answer == Answer::Mls850) {
            return pair;
        }
    }
    return std::nullopt;
}

}  // namespace probe
