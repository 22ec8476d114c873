// devices, find: the MIDI devices and the pair a keyboard answers on.

#include "commandcontext.h"
#include "commands.h"
#include "jsonoutput.h"
#include "kbddrv/keyboardprobe.h"
#include "platform/midiservice.h"
#include "platform/systemerror.h"

namespace cli::commands {

int devices(CommandContext& context, const QStringList&) {
    auto& service = platform::MidiService::instance();
    const QStringList inputs = service.inputDevices();
    const QStringList outputs = service.outputDevices();
    CommandOutput& output = context.output();
    output.setObject(jsonoutput::devices(inputs, outputs));
    for (int i = 0; i < inputs.size(); ++i) {
        output.line(QString("in %1: %2").arg(i).arg(inputs[i]));
    }
    for (int i = 0; i < outputs.size(); ++i) {
        output.line(QString("out %1: %2").arg(i).arg(outputs[i]));
    }
    if (const QString problem = service.systemProblem(); !problem.isEmpty()) {
        output.error("nvbman-cli: " + problem);
    }
    return Success;
}

// Every input/output pair (those whose names belong together first) until an MLS-850
// answers; the built-in keyboard is not tried.
int find(CommandContext& context, const QStringList&) {
    auto& service = platform::MidiService::instance();
    const QStringList inputs = service.inputDevices();
    const QStringList outputs = service.outputDevices();
    CommandOutput& output = context.output();
    const auto pair =
        probe::findKeyboard(inputs, outputs, service.builtInName(), [&](const probe::Pair& tried) {
            if (context.options().verbose) {
                output.error(QString("nvbman-cli: trying in %1: %2 with out %3: %4")
                                 .arg(tried.input)
                                 .arg(inputs[tried.input])
                                 .arg(tried.output)
                                 .arg(outputs[tried.output]));
            }
        });
    if (!pair) {
        throw platform::SystemError("No MLS-850 answered on any pair of MIDI devices.");
    }
    output.setObject({{"input", jsonoutput::device(pair->input, inputs[pair->input])},
                      {"output", jsonoutput::device(pair->output, outputs[pair->output])}});
    output.line(QString("in %1: %2").arg(pair->input).arg(inputs[pair->input]));
    output.line(QString("out %1: %2").arg(pair->output).arg(outputs[pair->output]));
    return Success;
}

}  // namespace cli::commands
