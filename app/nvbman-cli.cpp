// nvbman-cli: the keyboard manager's commands from a terminal, on the same driver, streams,
// message table and settings as the window. The commands themselves live in cli/.

#include <QCoreApplication>
#include <QFile>
#include <csignal>
#include <cstdio>

#include "cli/clirun.h"
#include "cli/commandoutput.h"
#include "kbdsim/simulatordevice.h"
#include "platform/cancellation.h"
#include "version.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("nvbman-cli");
    QCoreApplication::setApplicationVersion(NVBMAN_VERSION);

    // The software keyboard is always there, so every command can be tried without the
    // instrument; its memory is kept between runs.
    kbdsim::BuiltInKeyboard builtInKeyboard;

    // Ctrl+C stops the command at the next message, with its ports closed and nothing partial
    // kept; a second Ctrl+C ends the program at once. A terminal that closes (SIGHUP) or a
    // polite kill (SIGTERM) stops the same way, so what the stop leaves behind (a song slot
    // emptied by a send) is still said.
    for (const int stop : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(stop, [](int received) {
            platform::Cancellation::request();
            std::signal(received, SIG_DFL);
        });
    }
    // A file larger than the user's limit is a write error to report, not a silent death.
    std::signal(SIGXFSZ, SIG_IGN);

    QFile standardOutput;
    QFile standardError;
    if (!standardOutput.open(stdout, QIODevice::WriteOnly) ||
        !standardError.open(stderr, QIODevice::WriteOnly)) {
        return cli::Failure;
    }
    cli::CommandOutput output(&standardOutput, &standardError);
    return cli::run(app.arguments(), output);
}
