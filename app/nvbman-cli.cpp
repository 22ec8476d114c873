// nvbman-cli: the keyboard manager's commands from a terminal.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "kbdsim/simulatordevice.h"
#include "platform/midiservice.h"

namespace {

enum ExitCode { Success = 0, Failure = 1, BadUsage = 2 };

int listDevices() {
    QTextStream out(stdout);
    auto& service = platform::MidiService::instance();
    const QStringList inputs = service.inputDevices();
    const QStringList outputs = service.outputDevices();
    for (int i = 0; i < inputs.size(); ++i) {
        out << "in " << i << ": " << inputs[i] << '\n';
    }
    for (int i = 0; i < outputs.size(); ++i) {
        out << "out " << i << ": " << outputs[i] << '\n';
    }
    if (inputs.isEmpty() && outputs.isEmpty()) {
        QTextStream(stderr)
            << "No MIDI devices found (no ALSA sequencer, no JACK server running).\n";
    }
    return Success;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("nvbman-cli");
    QCoreApplication::setApplicationVersion("0.1.0");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Manages the music data of an MLS-850 keyboard over MIDI.\n\n"
        "Commands:\n"
        "  devices   list the MIDI input and output devices with their numbers");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("command", "The command to run.", "COMMAND [ARGS...]");
    parser.process(app);

    // The software keyboard is always there, so every command can be tried without the
    // instrument.
    kbdsim::BuiltInKeyboard builtInKeyboard;

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        QTextStream(stderr) << "nvbman-cli: no command given (try --help)\n";
        return BadUsage;
    }
    if (args.first() == "devices" && args.size() == 1) {
        return listDevices();
    }
    QTextStream(stderr) << "nvbman-cli: unknown command '" << args.join(' ') << "' (try --help)\n";
    return BadUsage;
}
