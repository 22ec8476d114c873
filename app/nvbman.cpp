// nvbman: the keyboard manager's window.

#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "kbdsim/simulatordevice.h"
#include "mainform/pclinkform.h"
#include "mainform/windowhandover.h"
#include "mainform/windowtexts.h"
#include "platform/filelock.h"
#include "platform/keyboardsession.h"
#include "platform/manualpage.h"
#include "platform/quitonsignals.h"
#include "platform/systemerror.h"
#include "version.h"

namespace {

// --help and --version answer before the window's application starts, so they work without a
// display (and while another copy runs). Returns the exit status, or -1 to go on.
int answerOptions(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Music data manager for the MLS-850 keyboard: the PC's folders and files above, the "
        "keyboard's memory below.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(
        "file",
        "A .nvb file (or a folder) to show in the PC list. When a window of NvbMan runs "
        "already, it shows the file and comes to the front, and this start ends.",
        "[FILE]");
    // Options this parser does not know are Qt's own (-platform, -style, ...): the
    // application takes them.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.parse(arguments);
    if (parser.isSet(version)) {
        std::printf("nvbman %s\n", NVBMAN_VERSION);
        return 0;
    }
    if (parser.isSet(help)) {
        std::printf("%s\nThe user manual (Help > NvbMan Help in the window): %s\n",
                    qPrintable(parser.helpText().replace("<executable_name>", "nvbman")),
                    qPrintable(platform::manualPage(false)));
        return 0;
    }
    return -1;
}

// With NVBMAN_EXIT_AFTER_START set, the window ends by itself once it is on screen and its main
// loop serves events: how CI proves that a fresh build starts, without anyone to close it. A
// first start's Preference dialog is answered with Cancel, as a user who only looks would.
void exitOnceShown(const QWidget& window) {
    if (qEnvironmentVariableIsEmpty("NVBMAN_EXIT_AFTER_START")) {
        return;
    }
    constexpr int kCheckIntervalMs = 100;
    auto* check = new QTimer(qApp);
    check->setInterval(kCheckIntervalMs);
    QObject::connect(check, &QTimer::timeout, qApp, [&window] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            std::printf("nvbman: closed the dialog \"%s\" of the start\n",
                        qPrintable(dialog->windowTitle()));
            dialog->reject();
            return;
        }
        // Level 1: the application's own loop, not a wait nested inside a handler.
        if (window.isVisible() && QThread::currentThread()->loopLevel() == 1) {
            std::printf("nvbman: the window \"%s\" opened; ending as asked\n",
                        qPrintable(window.windowTitle()));
            std::fflush(stdout);
            QApplication::exit(0);
        }
    });
    check->start();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (const int status = answerOptions(argc, argv); status >= 0) {
        return status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("NvbMan");
    QApplication::setOrganizationName("Velta");
    QApplication::setApplicationDisplayName(TPcLinkForm::kTitle);
    QApplication::setApplicationVersion(NVBMAN_VERSION);
    // Ties the window to its menu entry (the desktop file installed with it).
    QGuiApplication::setDesktopFileName("com.velta.nvbman");
    // A polite kill ends the window as File > Exit does, status 0; in place before anything
    // another program can see (the lock, the hand-over socket).
    const platform::QuitOnSignals quitOnSignals;

    // A file given (the file manager's "Open With"), to show in the PC list.
    const QStringList given = QApplication::arguments().mid(1);
    const QString filePath =
        given.isEmpty() ? QString() : QFileInfo(given.first()).absoluteFilePath();
    // One copy at a time per user: the lock lives in the user's own runtime folder, so
    // another user's copy never keeps this one out, and the system releases it when a copy
    // ends, even by a crash.
    QString runtimeFolder;
    try {
        runtimeFolder = platform::userRuntimeFolder();
    } catch (const platform::SystemError& e) {
        std::fprintf(stderr, "nvbman: %s\n", e.what());
        return 1;
    }
    platform::FileLock lock(QDir(runtimeFolder).filePath("NvbMan.lock"));
    if (const auto state = lock.tryLock(); state != platform::FileLock::State::Locked) {
        if (state == platform::FileLock::State::Failed) {
            std::fprintf(stderr, "nvbman: cannot lock \"%s\": %s\n", qPrintable(lock.path()),
                         qPrintable(lock.errorString()));
            return 1;
        }
        // The running window shows the file and comes forward; this start ends.
        QString error;
        if (WindowHandOver::handOver(filePath, &error)) {
            return 0;
        }
        std::fprintf(stderr,
                     "nvbman: a window of NvbMan already runs for this user, and it did not "
                     "answer (%s).\n",
                     qPrintable(error));
        return 1;
    }
    WindowHandOver handOver;
    if (QString error; !handOver.listen(&error)) {
        // The window works without it; only a second start cannot hand its file over.
        std::fprintf(stderr, "nvbman: later starts cannot hand files to this window: %s\n",
                     qPrintable(error));
    }

    installWindowTexts(app);

    TPcLinkForm window(std::make_unique<platform::SettingsStore>());
    // The software keyboard is always there, so every command can be tried without the
    // instrument; its memory is kept between runs. It lives on the window's keyboard thread and
    // answers there, as a keyboard on a cable answers beside the program: its work (and the
    // saving of its memory) never holds the window.
    std::unique_ptr<kbdsim::BuiltInKeyboard> builtInKeyboard;
    window.keyboardThread().call(
        [&builtInKeyboard] { builtInKeyboard = std::make_unique<kbdsim::BuiltInKeyboard>(); });
    const auto endBuiltInKeyboard = qScopeGuard(
        [&] { window.keyboardThread().call([&builtInKeyboard] { builtInKeyboard.reset(); }); });
    QObject::connect(&handOver, &WindowHandOver::handedOver, &window, &TPcLinkForm::showFile);
    exitOnceShown(window);
    window.start();
    window.show();
    if (!filePath.isEmpty()) {
        window.showFile(filePath);
    }
    if (quitOnSignals.quitRequested()) {
        return 0;  // asked to end during the start
    }
    return QApplication::exec();
}
