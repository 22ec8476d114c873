#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform {

// Turns the polite ways of ending a program (SIGTERM from a session manager or `kill`, SIGHUP
// when its terminal goes, SIGINT from Ctrl+C) into the end of its event loops
// (QCoreApplication::exit), so the program ends the way File > Exit ends it: the running
// command stopped the safe way, the settings written, status 0. A signal handler may do almost nothing, so it only writes a byte to a
// socket pair; the event loop reads it and quits (the way Qt's documentation shows for Unix
// signals). One per program.
class QuitOnSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;
    QuitOnSignals(const QuitOnSignals&) = delete;
    QuitOnSignals& operator=(const QuitOnSignals&) = delete;

    // Whether a signal came: one that came before the application's main loop ran (during the
    // first start's dialog) ended only the dialog's loop, and the main loop must not start.
    bool quitRequested() const { return quitRequested_; }

private:
    QSocketNotifier* notifier_ = nullptr;
    bool quitRequested_ = false;
};

}  // namespace platform
