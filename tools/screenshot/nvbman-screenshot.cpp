// Draws the window as README and the manual show it: the built-in software keyboard listed, the
// keyboard pane in its details view with the "On PC" column filled (Check On PC) from a small
// library in the default folder. Run by tools/screenshot.sh under a virtual X server, in a home of
// its own (the script puts the sample files there first), once per language:
//     nvbman-screenshot OUT.png
// The language is the user's, as for the window (LANG=ja_JP.UTF-8 for the Japanese picture).

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QSplitter>
#include <QTreeView>
#include <cstdio>
#include <memory>

#include "kbdsim/simulatordevice.h"
#include "panes/kbdpanemodel.h"
#include "commands/commandframe.h"
#include "mainform/pclinkform.h"
#include "mainform/windowtexts.h"
#include "platform/midiservice.h"
#include "platform/settingsstore.h"

namespace {

// The library is scanned in the background; its first scan of a few files takes well under a
// second, so a picture not ready after this long will not be.
constexpr qint64 kReadyWithin = 20000;
// How long one wait for events lasts at most before the conditions are looked at again.
constexpr int kEventWaitMs = 100;
constexpr int kWidth = 800;
constexpr int kHeight = 580;

int fail(const char* text) {
    std::fprintf(stderr, "nvbman-screenshot: %s\n", text);
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("NvbMan");
    QApplication::setOrganizationName("Velta");
    if (argc != 2) {
        return fail("usage: nvbman-screenshot OUT.png");
    }
    installWindowTexts(app);
    kbdsim::BuiltInKeyboard builtIn;
    auto& service = platform::MidiService::instance();
    const int input = int(service.inputDevices().indexOf(kbdsim::BuiltInKeyboard::kDeviceName));
    const int output = int(service.outputDevices().indexOf(kbdsim::BuiltInKeyboard::kDeviceName));
    {
        platform::SettingsStore store;
        platform::Settings settings;
        settings.inputDevice = input;
        settings.outputDevice = output;
        settings.inputDeviceName = settings.outputDeviceName = kbdsim::BuiltInKeyboard::kDeviceName;
        settings.defaultDirectory = QDir::currentPath();
        store.save(settings);
    }
    TPcLinkForm window(std::make_unique<platform::SettingsStore>());
    window.resize(kWidth, kHeight);
    window.start();
    window.show();
    // A command runs on the window's keyboard thread: each is waited for, as a user waits.
    const auto ended = [&window] {
        QElapsedTimer waited;
        waited.start();
        while (!window.frame().isIdle()) {
            if (waited.elapsed() > kReadyWithin) {
                return false;
            }
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, kEventWaitMs);
        }
        return true;
    };
    window.findChild<QAction*>("ConnectAction")->trigger();
    if (!ended()) {
        return fail("the keyboard was not listed");
    }
    // The keyboard's first folder, its tones.
    auto* folders = window.findChild<QTreeView*>("KbdDirView");
    const QModelIndex keyboard = folders->model()->index(0, 0);
    folders->expand(keyboard);
    folders->setCurrentIndex(folders->model()->index(0, 0, keyboard));
    window.findChild<QAction*>("KbdReportBtn")->trigger();
    window.findChild<QAction*>("LocalReportBtn")->trigger();
    // The items were imported by the command-line tool: the window learns what they hold by
    // fetching them, as File > Check On PC does.
    window.findChild<QAction*>("CheckOnPcAction")->trigger();
    const QAbstractItemModel* rows = window.findChild<QTreeView*>("KbdFileDetails")->model();
    QElapsedTimer waited;
    waited.start();
    // Ready when the first tone's "On PC" cell names its file.
    while (!rows->index(0, KbdListModel::OnPcColumn).data().toString().contains(".nvb")) {
        if (waited.elapsed() > kReadyWithin) {
            return fail("the \"On PC\" column was not filled");
        }
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, kEventWaitMs);
    }
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        return fail("the picture could not be saved");
    }
    window.close();
    return 0;
}
