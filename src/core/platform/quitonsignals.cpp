#include "quitonsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <array>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr std::array kQuitSignals{SIGTERM, SIGHUP, SIGINT};

// [0]: written by the handler; [1]: read by the event loop.
std::array<int, 2> pair{-1, -1};

void handleSignal(int) {
    const char byte = 1;
    // Nothing can be done about a full socket: a byte is waiting to be read already.
    [[maybe_unused]] const ssize_t written = ::write(pair[0], &byte, sizeof byte);
}

}  // namespace

QuitOnSignals::QuitOnSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair.data()) != 0) {
        return;  // the signals keep their default: the program ends at once
    }
    notifier_ = new QSocketNotifier(pair[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(pair[1], &byte, sizeof byte);
        quitRequested_ = true;
        // exit(), not quit(): Qt 6's quit() first asks every window to close, and a window
        // asks its user before it stops a command; a signal is no user to ask. The main
        // loop's end still says aboutToQuit, where the window stops its command.
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kQuitSignals) {
        sigaction(signal, &action, nullptr);
    }
}

QuitOnSignals::~QuitOnSignals() {
    if (notifier_ == nullptr) {
        return;
    }
    for (const int signal : kQuitSignals) {
        std::signal(signal, SIG_DFL);
    }
    ::close(pair[0]);
    ::close(pair[1]);
    pair = {-1, -1};
}

}  // namespace platform
