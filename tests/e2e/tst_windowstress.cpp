// Many commands in a row through the window over JACK, as a user working through an evening
// would run them: the list, an import, a send, a swap, undo, redo and a delete in turn against
// nvbman-kbdsim, first paced like the real cable, then answering at once, then losing an answer
// now and then, then losing now and then a message the keyboard never answers. The window's
// commands run on its keyboard thread; not one may fail or hang, no box may come up, and after
// each the keyboard must hold what the command made.
//
// NVBMAN_STRESS_OPS sets the number of commands per keyboard (default 24: three cycles).

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QListView>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "commands/editcommands.h"
#include "data/datatypes.h"
#include "kbddrv/slotaddress.h"
#include "kbdsim/keyboardmemory.h"
#include "mainform/pclinkform.h"
#include "platform/settingsstore.h"
#include "support/kbdsimprocess.h"
#include "support/modal.h"
#include "support/stresskeyboards.h"
#include "support/windowcommands.h"

using kbdsim::KeyboardMemory;

namespace {

constexpr int kDefaultOperations = 24;
constexpr int kReportEvery = 100;

// Selects the keyboard folder `nodes` (from the root down) and its row `row`, as a user clicks.
bool selectKbd(TPcLinkForm& window, const QStringList& nodes, int row) {
    auto* dirs = window.findChild<QTreeView*>("KbdDirView");
    QModelIndex node = dirs->model()->index(0, 0);
    for (const QString& text : nodes) {
        node = dirs->model()
                   ->match(dirs->model()->index(0, 0, node), Qt::DisplayRole, text, 1,
                           Qt::MatchExactly)
                   .value(0);
    }
    dirs->setCurrentIndex(node);
    auto* files = window.findChild<QListView*>("KbdFileView");
    files->setCurrentIndex(files->model()->index(row, 0));
    return node.isValid() && files->currentIndex().isValid();
}

}  // namespace

class TestWindowStress : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandsInARowNeverFail_data();
    void commandsInARowNeverFail();
};

void TestWindowStress::commandsInARowNeverFail_data() {
    addStressKeyboards();
}

void TestWindowStress::commandsInARowNeverFail() {
    QFETCH(QStringList, simulatorOptions);
    const int operations = stressOperations(kDefaultOperations);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
    const QString state = home.filePath("keyboard.json");
    KeyboardMemory::demo().save(state);
    KbdSimProcess sim(QStringList{"--state", state} + simulatorOptions);
    QVERIFY2(sim.isReady(), sim.errorOutput().constData());
    QDir(home.path()).mkdir("pc");
    {
        platform::SettingsStore store(
            std::make_unique<QSettings>(home.filePath("nvbman.ini"), QSettings::IniFormat));
        store.markRun();
        store.save({sim.inputNumber(), sim.outputNumber(), home.filePath("pc"), {}, {}});
    }
    TPcLinkForm window(storeAt(home.filePath("nvbman.ini")));
    window.start();
    window.show();
    MessageBoxes boxes;

    const StressMemories held = stressMemories();
    const QStringList songs{"Song Rhythm:\\", "Song"};
    const auto slot = [](const char* text) { return *SlotAddress::parse(text); };
    // A cycle that leaves the keyboard as it found it; each step with what it leaves.
    struct Step {
        const char* name;
        std::function<bool()> start;
        QJsonObject expected;
    };
    const std::vector<Step> cycle = {
        {"list", [&] { return (window.ConnectActionExecute(), true); }, held.demo},
        {"import song:0",
         [&] { return selectKbd(window, songs, 0) && (window.ReceiveActionExecute(), true); },
         held.demo},
        // The import left its file selected in the PC list.
        {"send it to song:1",
         [&] { return selectKbd(window, songs, 1) && (window.SendActionExecute(), true); },
         held.withSong},
        {"swap tone:0 tone:1",
         [&] {
             return (window.edits().editSlots(organise::Edit::Swap, slot("tone:0"), slot("tone:1")),
                     true);
         },
         held.swapped},
        {"undo", [&] { return (window.edits().takeBackLatest(true), true); }, held.withSong},
        {"redo", [&] { return (window.edits().takeBackLatest(false), true); }, held.swapped},
        {"undo", [&] { return (window.edits().takeBackLatest(true), true); }, held.withSong},
        {"delete song:1",
         [&] { return selectKbd(window, songs, 1) && (window.DeleteActionExecute(), true); },
         held.demo},
    };

    QStringList failures;
    QElapsedTimer clock;
    clock.start();
    for (int op = 0; op < operations && failures.isEmpty(); ++op) {
        const Step& step = cycle[std::size_t(op) % cycle.size()];
        if (!step.start()) {
            failures << QString("#%1 %2: its row is not shown").arg(op).arg(step.name);
        } else if (!commandsEnded(window)) {
            failures << QString("#%1 %2: hung").arg(op).arg(step.name);
        } else if (!boxes.texts.isEmpty()) {
            failures << QString("#%1 %2: %3").arg(op).arg(step.name, boxes.texts.join(' '));
        } else if (KeyboardMemory::load(state).toJson() != step.expected) {
            // Ended without a word, yet the keyboard does not hold it: a false success.
            failures << QString("#%1 %2: the keyboard does not show it").arg(op).arg(step.name);
        }
        if (sim.process().state() != QProcess::Running) {
            QFAIL(qPrintable("the simulator ended: " + sim.errorOutput()));
        }
        if ((op + 1) % kReportEvery == 0) {
            qInfo("%d commands, %.1f s", op + 1, clock.elapsed() / 1000.0);
        }
    }
    qInfo("%d commands in %.1f s, %lld failed", operations, clock.elapsed() / 1000.0,
          qlonglong(failures.size()));
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    QVERIFY(window.close());
}

QTEST_MAIN(TestWindowStress)
#include "tst_windowstress.moc"
