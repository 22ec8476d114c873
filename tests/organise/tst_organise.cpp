// Copy, move, swap and rename on the keyboard, and Undo/Redo of every kind of change, against
// the real driver and streams and a simulated keyboard: the keyboard's memory is compared
// whole, byte for byte, after the change, after its undo and after its redo.

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "backup/batchjobs.h"
#include "backup/keyboardbackup.h"
#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "msg/errortext.h"
#include "msg/msgstr.h"
#include "ops/keyboardchanges.h"
#include "organise/slotedits.h"
#include "organise/undo.h"
#include "platform/cancellation.h"
#include "platform/eventwait.h"
#include "platform/systemerror.h"
#include "safety/history.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbtransfer.h"
#include "support/codedfailure.h"
#include "support/keyboardrig.h"
#include "sysex/sysexrecords.h"

using kbdsim::KeyboardMemory;
using kbdsim::SlotRef;
using organise::Edit;

namespace {

const SlotRef kTone0{DataType::Tone, 0, 0};
const SlotRef kTone1{DataType::Tone, 0, 1};
const SlotRef kTone2{DataType::Tone, 0, 2};
const SlotRef kTone3{DataType::Tone, 0, 3};
const SlotRef kSong0{DataType::Song, 0, 0};
const SlotRef kSong1{DataType::Song, 0, 1};
const SlotRef kRhythm0{DataType::Rhythm, 0, 0};
const SlotRef kDsp0{DataType::DSP, 0, 0};

// The whole memory as one text, so that a comparison shows where it differs.
QString memoryText(const KeyboardMemory& memory) {
    return QString::fromUtf8(QJsonDocument(memory.toJson()).toJson(QJsonDocument::Indented));
}

SlotAddress slot(const char* text) {
    return *SlotAddress::parse(text);
}

// The words of a slot with its name (at `offset` in the data bytes) replaced by `name`.
std::vector<std::uint16_t> renamed(std::vector<std::uint16_t> words, int offset,
                                   const QByteArray& name) {
    const QByteArray padded = name.leftJustified(EkDataFile::kNameLength, ' ');
    for (int i = 0; i < padded.size(); ++i) {
        std::uint16_t& word = words[std::size_t(offset + i) / 2];
        const bool high = (offset + i) % 2 == 0;
        const auto byte = std::uint16_t(quint8(padded[i]));
        word = high ? std::uint16_t((word & 0x00FF) | (byte << 8))
                    : std::uint16_t((word & 0xFF00) | byte);
    }
    return words;
}

// A second song, so that both song slots hold one.
std::vector<std::uint16_t> secondSong() {
    std::vector<std::uint16_t> words(400);
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = std::uint16_t(0x2000 + i * 37);
    }
    return words;
}

// The demo keyboard with songs in both song slots.
KeyboardMemory twoSongs() {
    KeyboardMemory memory = KeyboardMemory::demo();
    memory.setData(kSong1, secondSong());
    return memory;
}

int dataBlocksFrom(const std::vector<QByteArray>& fromProgram) {
    constexpr int kTypeByte = 5;
    return int(std::count_if(fromProgram.begin(), fromProgram.end(), [](const QByteArray& m) {
        return m.size() > kTypeByte && (quint8(m[kTypeByte]) >> 4) == SysExType::DataBlock;
    }));
}

// A keyboard, its driver listed, a store of kept copies and its history, all of one test.
struct Bench {
    // `keptFolder`: another bench's kept copies and history, as two keyboards on one PC share
    // them; empty: the bench's own.
    explicit Bench(KeyboardMemory memory = KeyboardMemory::demo(),
                   const QString& device = "Test MLS-850", const QString& keptFolder = {})
        : rig(std::move(memory), device),
          store(keptFolder.isEmpty() ? kept.path() : keptFolder),
          history(store.folder()) {
        relist();
    }
    void relist() { driver.getList(rig.inputNumber(), rig.outputNumber()); }
    KeyboardLink link() { return {driver, rig.inputNumber(), rig.outputNumber()}; }
    // The memory once the keyboard has dealt with every message sent to it (the last one of
    // a send is still on the simulated cable when the program's part is done).
    QString memory() {
        bool posted = false;
        QMetaObject::invokeMethod(
            &rig.device, [&posted] { posted = true; }, Qt::QueuedConnection);
        platform::waitUntil(posted);
        bool arrived = rig.keyboard.hasTakenEverything();
        const QMetaObject::Connection connection =
            QObject::connect(&rig.keyboard, &kbdsim::SimulatedKeyboard::tookEverything,
                             [&arrived] { arrived = true; });
        platform::waitUntil(arrived);
        QObject::disconnect(connection);
        return memoryText(rig.keyboard.memory());
    }
    KeyboardMemory& settledMemory() {
        memory();
        return rig.keyboard.memory();
    }
    // Every change goes through the operations the window and the command-line tool call.
    ops::Target target() { return {link(), store, true, nullptr}; }
    void edit(Edit edit, const char* from, const char* to) {
        ops::edit(target(), edit, slot(from), slot(to));
    }
    void reverse(bool undoing, bool force = false) {
        const auto change = ops::latestChange(target(), undoing);
        QVERIFY(change.has_value());
        relist();
        ops::takeBack(target(), *change, undoing, force);
    }

    KeyboardRig rig;
    EkKbdDrv driver{"MLS-850"};
    QTemporaryDir kept;
    safety::Store store;
    safety::History history;
    MsgStr messages{1033};
};

using Change = std::function<void(Bench&)>;
using Expected = std::function<void(KeyboardMemory&)>;

}  // namespace

class TestOrganise : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyChangeIsUndoneAndRedoneByteForByte_data();
    void everyChangeIsUndoneAndRedoneByteForByte();
    void everySlotIsKeptAndItsChangeWrittenBeforeTheKeyboardChangesIt_data();
    void everySlotIsKeptAndItsChangeWrittenBeforeTheKeyboardChangesIt();
    void aSwapStoppedAtAnyMessageLosesNothing();
    void badInputChangesNothing_data();
    void badInputChangesNothing();
    void anUndoNeverOverwritesWhatChangedSince();
    void eachKeyboardUndoesItsOwnChanges();
    void aChangeTakenBackTwiceIsListedOnce();
    void aSongThatDoesNotFitChangesNothing();
    void undoneChangesAreRedoneInTurn();
    void aSendStoppedOverASongHandsBackTheOldSong();
    void withoutKeptCopiesAChangeIsMadeAndNothingRecorded_data();
    void withoutKeptCopiesAChangeIsMadeAndNothingRecorded();
};

void TestOrganise::everyChangeIsUndoneAndRedoneByteForByte_data() {
    QTest::addColumn<Change>("change");
    QTest::addColumn<Expected>("expected");
    const auto edit = [](Edit kind, const char* from, const char* to) -> Change {
        return [=](Bench& bench) { bench.edit(kind, from, to); };
    };
    const auto rename = [](const char* where, const char* name) -> Change {
        return [=](Bench& bench) { ops::rename(bench.target(), slot(where), name); };
    };
    QTest::newRow("copy a tone") << edit(Edit::Copy, "tone:0", "tone:1")
                                 << Expected([](KeyboardMemory& m) {
                                        m.setData(kTone1, m.data(kTone0));
                                    });
    QTest::newRow("swap two tones")
        << edit(Edit::Swap, "tone:2", "tone:3") << Expected([](KeyboardMemory& m) {
               const auto two = m.data(kTone2);
               m.setData(kTone2, m.data(kTone3));
               m.setData(kTone3, two);
           });
    QTest::newRow("move a song") << edit(Edit::Move, "song:0", "song:1")
                                 << Expected([](KeyboardMemory& m) {
                                        m.setData(kSong1, m.data(kSong0));
                                        m.setData(kSong0, {});
                                    });
    QTest::newRow("swap with an empty song slot is a move")
        << edit(Edit::Swap, "song:1", "song:0") << Expected([](KeyboardMemory& m) {
               m.setData(kSong1, m.data(kSong0));
               m.setData(kSong0, {});
           });
    QTest::newRow("rename a tone") << rename("tone:0", "Hello") << Expected([](KeyboardMemory& m) {
        m.setData(kTone0, renamed(m.data(kTone0), 36, "Hello"));
    });
    QTest::newRow("rename a song")
        << rename("song:0", "My}Song!") << Expected([](KeyboardMemory& m) {
               m.setData(kSong0, renamed(m.data(kSong0), 4, "My}Song!"));
           });
    QTest::newRow("delete") << Change([](Bench& bench) {
        const auto outcomes = ops::remove(bench.target(), {slot("rhythm:0"), slot("song:0")});
        QVERIFY(!outcomes[0].failed() && !outcomes[1].failed());
    }) << Expected([](KeyboardMemory& m) {
        m.setData(kRhythm0, {});
        m.setData(kSong0, {});
    });
    QTest::newRow("send") << Change([](Bench& bench) {
        const QString file = bench.kept.filePath("dsp.nvb");
        EkDataFile item(DataType::NoType);
        const SlotInTree source = findSlot(bench.driver, slot("dsp:5"));
        transfer::fetchItem(source, bench.link(), nullptr, item);
        NvbFileStream(file, NvbFileStream::Create).write(item);
        const auto outcomes = ops::send(
            bench.target(), batch::placeFiles(bench.driver, {file}, slot("dsp:0")), false);
        QVERIFY(!outcomes[0].failed());
    }) << Expected([](KeyboardMemory& m) {
        m.setData(kDsp0, m.data({DataType::DSP, 0, 5}));
    });
    QTest::newRow("exact restore") << Change([](Bench& bench) {
        // The backup is the demo keyboard; since then a tone changed, the rhythm went and a
        // second song came.
        QTemporaryDir folder;
        QCOMPARE(int(backup::backupKeyboard(bench.link(), folder.path(), nullptr).size()), 39);
        KeyboardMemory& now = bench.rig.keyboard.memory();
        now.setData(kTone0, now.data(kTone3));
        now.setData(kRhythm0, {});
        now.setData(kSong1, secondSong());
        bench.relist();
        ops::restore(bench.target(), backup::Manifest::read(folder.path()), folder.path(),
                     backup::Extras::Delete);
    }) << Expected([](KeyboardMemory& m) { m = KeyboardMemory::demo(); });
}

void TestOrganise::everyChangeIsUndoneAndRedoneByteForByte() {
    QFETCH(Change, change);
    QFETCH(Expected, expected);
    Bench bench;
    change(bench);
    if (QTest::currentTestFailed()) {
        return;
    }
    // The restore row changed the keyboard before its change: the undo goes back to that.
    bench.relist();
    const auto changes = bench.history.undoable();
    QCOMPARE(int(changes.size()), 1);

    KeyboardMemory after = KeyboardMemory::demo();
    expected(after);
    QCOMPARE(bench.memory(), memoryText(after));

    bench.reverse(true);
    const QString undone = bench.memory();
    if (QString(QTest::currentDataTag()) != "exact restore") {
        QCOMPARE(undone, memoryText(KeyboardMemory::demo()));
    } else {
        KeyboardMemory before = KeyboardMemory::demo();
        before.setData(kTone0, before.data(kTone3));
        before.setData(kRhythm0, {});
        before.setData(kSong1, secondSong());
        QCOMPARE(undone, memoryText(before));
    }
    QCOMPARE(int(bench.history.undoable().size()), 0);
    QCOMPARE(bench.history.redoable().front().action, changes.front().action);

    bench.reverse(false);
    QCOMPARE(bench.memory(), memoryText(after));
    // And once more back: undo, redo, undo leave the keyboard as before the change.
    bench.reverse(true);
    QCOMPARE(bench.memory(), undone);
}

void TestOrganise::everySlotIsKeptAndItsChangeWrittenBeforeTheKeyboardChangesIt_data() {
    everyChangeIsUndoneAndRedoneByteForByte_data();
}

void TestOrganise::everySlotIsKeptAndItsChangeWrittenBeforeTheKeyboardChangesIt() {
    // Whenever the keyboard's memory changes during a change, its undo or its redo, the slot
    // it changed is already in the history as part of a change under way, and what the slot
    // held just before is in the kept copy that step names: a program killed at that moment
    // leaves an undo that puts the slot back.
    QFETCH(Change, change);
    Bench bench;
    const std::pair<SlotRef, const char*> watched[] = {
        {kTone0, "tone:0"}, {kTone1, "tone:1"}, {kTone2, "tone:2"}, {kTone3, "tone:3"},
        {kDsp0, "dsp:0"},   {kSong0, "song:0"}, {kSong1, "song:1"}, {kRhythm0, "rhythm:0"}};
    KeyboardMemory before;
    QString phase;
    QStringList problems;
    int changesSeen = 0;
    QObject::connect(&bench.rig.keyboard, &kbdsim::SimulatedKeyboard::traffic,
                     [&](bool fromProgram, const QByteArray&) {
                         if (fromProgram) {
                             before = bench.rig.keyboard.memory();
                         }
                     });
    QObject::connect(&bench.rig.keyboard, &kbdsim::SimulatedKeyboard::memoryChanged, [&] {
        const KeyboardMemory& now = bench.rig.keyboard.memory();
        const auto changes = bench.history.undoable();
        for (const auto& [ref, text] : watched) {
            if (now.data(ref) == before.data(ref)) {
                continue;
            }
            ++changesSeen;
            if (changes.empty() || !changes.front().underWay) {
                problems << QString("%1: %2 changed with no change under way").arg(phase, text);
                continue;
            }
            const auto& steps = changes.front().steps;
            const auto step = std::find_if(steps.begin(), steps.end(), [&](const safety::Step& s) {
                return s.slot == slot(text);
            });
            if (step == steps.end()) {
                QStringList named;
                for (const safety::Step& written : steps) {
                    named << written.slot.text();
                }
                problems << QString("%1: %2 changed before its step was written (only %3)")
                                .arg(phase, text, named.join(", "));
                continue;
            }
            if (before.data(ref).empty()) {
                continue;
            }
            const auto copy = bench.store.find(step->before);
            EkDataFile kept(DataType::NoType);
            if (copy) {
                bench.store.loadChecked(*copy, kept);
            }
            if (!copy || kept.words() != before.data(ref)) {
                problems << QString("%1: %2 changed before what it held was kept").arg(phase, text);
            }
        }
    });
    phase = "change";
    change(bench);
    if (QTest::currentTestFailed()) {
        return;
    }
    bench.relist();
    phase = "undo";
    bench.reverse(true);
    phase = "redo";
    bench.reverse(false);
    bench.memory();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    QVERIFY(changesSeen >= 3);
}

void TestOrganise::aSwapStoppedAtAnyMessageLosesNothing() {
    // The whole swap's traffic first, to know every message it sends.
    std::size_t messages = 0;
    {
        Bench bench(twoSongs());
        bench.rig.clearTraffic();
        bench.edit(Edit::Swap, "song:0", "song:1");
        messages = bench.rig.fromProgram().size();
        QVERIFY(dataBlocksFrom(bench.rig.fromProgram()) > 0);
    }
    const QString original = memoryText(twoSongs());
    const std::vector<std::uint16_t> songs[] = {twoSongs().data(kSong0), secondSong()};
    int stops = 0;
    for (std::size_t stopAt = 1; stopAt <= messages; ++stopAt) {
        Bench bench(twoSongs());
        bench.rig.clearTraffic();
        platform::Cancellation::clear();
        QObject::connect(&bench.rig.keyboard, &kbdsim::SimulatedKeyboard::traffic,
                         [&](bool fromProgram, const QByteArray&) {
                             if (fromProgram && bench.rig.fromProgram().size() == stopAt) {
                                 platform::Cancellation::request();
                             }
                         });
        bool stopped = false;
        try {
            bench.edit(Edit::Swap, "song:0", "song:1");
        } catch (const platform::Cancelled&) {
            stopped = true;
        } catch (const platform::SystemError& e) {
            stopped = true;
            // Stopped among the writes: the text names the copies that hold the songs.
            QVERIFY2(QString(e.what()).contains("kept: copy"), e.what());
        }
        platform::Cancellation::clear();
        if (!stopped) {
            // A stop asked for after the last request is too late: the swap is done.
            KeyboardMemory swapped = twoSongs();
            swapped.setData(kSong0, secondSong());
            swapped.setData(kSong1, twoSongs().data(kSong0));
            QCOMPARE(bench.memory(), memoryText(swapped));
        }
        stops += stopped ? 1 : 0;
        // Each song is on the keyboard or in a kept copy.
        const KeyboardMemory& now = bench.settledMemory();
        for (const auto& song : songs) {
            bool found = now.data(kSong0) == song || now.data(kSong1) == song;
            for (const safety::Copy& copy : bench.store.copies()) {
                EkDataFile item(DataType::NoType);
                bench.store.loadChecked(copy, item);
                found = found || item.words() == song;
            }
            QVERIFY2(found, qPrintable(QString("stopped at message %1").arg(stopAt)));
        }
        // And one undo puts the keyboard back as it was.
        if (!bench.history.undoable().empty()) {
            bench.reverse(true, true);
        }
        QVERIFY2(bench.memory() == original,
                 qPrintable(QString("undo after a stop at message %1").arg(stopAt)));
    }
    QVERIFY(stops > int(messages) / 2);
}

void TestOrganise::badInputChangesNothing_data() {
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("refusal");  // the refusal's code
    const auto edit = [](Edit kind, const char* from, const char* to) -> Change {
        return [=](Bench& bench) { bench.edit(kind, from, to); };
    };
    const auto rename = [](const char* where, const QString& name) -> Change {
        return [=](Bench& bench) { ops::rename(bench.target(), slot(where), name); };
    };
    QTest::newRow("across kinds") << edit(Edit::Copy, "tone:0", "dsp:0") << "DifferentKinds";
    QTest::newRow("the same slot") << edit(Edit::Swap, "song:0", "song:0") << "SameSlot";
    QTest::newRow("a tone moved") << edit(Edit::Move, "tone:0", "tone:1") << "CannotBeEmptied";
    QTest::newRow("an empty source") << edit(Edit::Copy, "song:1", "song:0") << "SlotEmpty";
    QTest::newRow("two empty slots swapped")
        << edit(Edit::Swap, "rhythm:1", "rhythm:3") << "SlotEmpty";
    QTest::newRow("a name too long") << rename("tone:0", "Ninechars") << "NameUnusable";
    QTest::newRow("a name of spaces") << rename("tone:0", "   ") << "NameUnusable";
    QTest::newRow("an accent") << rename("song:0", QString::fromUtf8("Café")) << "NameUnusable";
    QTest::newRow("a tilde") << rename("song:0", "a~b") << "NameUnusable";
    QTest::newRow("a registration's name") << rename("reg:0.0", "Mine") << "NameNotInData";
    QTest::newRow("an empty slot renamed") << rename("song:1", "New") << "SlotEmpty";
}

void TestOrganise::badInputChangesNothing() {
    QFETCH(Change, change);
    QFETCH(QString, refusal);
    Bench bench;
    bench.rig.clearTraffic();
    QCOMPARE(innermostFailure([&] { change(bench); }), refusal);
    QCOMPARE(bench.rig.fromProgram().size(), std::size_t(0));  // refused before any traffic
    QCOMPARE(bench.memory(), memoryText(KeyboardMemory::demo()));
    QCOMPARE(int(bench.history.undoable().size()), 0);
}

void TestOrganise::anUndoNeverOverwritesWhatChangedSince() {
    Bench bench;
    bench.edit(Edit::Copy, "tone:0", "tone:1");

    // The keyboard's own panel changes tone:1: the undo is refused, nothing changes.
    KeyboardMemory& memory = bench.settledMemory();
    const auto panelTone = memory.data(kTone3);
    memory.setData(kTone1, panelTone);
    const QString panelChanged = bench.memory();
    try {
        bench.reverse(true);
        QFAIL("an undo over a changed slot went ahead");
    } catch (const organise::ChangedSince& e) {
        QCOMPARE(e.slots, QStringList{"tone:1"});
    }
    QCOMPARE(bench.memory(), panelChanged);
    QCOMPARE(int(bench.history.undoable().size()), 1);

    // A kept copy changed on disk is never sent.
    const safety::Copy copy = bench.store.copies().front();
    {
        QFile file(bench.store.filePath(copy));
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(file.size() - 1);
        file.write("!");
    }
    QVERIFY_THROWS_EXCEPTION(platform::SystemError, bench.reverse(true, true));
    QCOMPARE(bench.memory(), panelChanged);
    QVERIFY(bench.store.remove(copy.id));
    QVERIFY_THROWS_EXCEPTION(platform::SystemError, bench.reverse(true, true));
    QCOMPARE(bench.memory(), panelChanged);

    // Forced, with the copy intact: the panel's tone is kept first, then the old one is back.
    Bench second;
    second.edit(Edit::Copy, "tone:0", "tone:1");
    second.memory();
    second.rig.keyboard.memory().setData(kTone1, panelTone);
    second.reverse(true, true);
    QCOMPARE(second.memory(), memoryText(KeyboardMemory::demo()));
    const safety::Copy keptPanelTone = second.store.copies().front();
    QCOMPARE(keptPanelTone.why, safety::Why::Undo);
    EkDataFile item(DataType::NoType);
    second.store.loadChecked(keptPanelTone, item);
    QCOMPARE(item.words(), panelTone);
}

void TestOrganise::eachKeyboardUndoesItsOwnChanges() {
    // Two keyboards on one PC, one history: the same copy made on each, over different tones.
    Bench first(KeyboardMemory::demo(), "Test MLS-850 first");
    KeyboardMemory other = KeyboardMemory::demo();
    other.setData(kTone1, other.data(kTone3));
    Bench second(other, "Test MLS-850 second", first.store.folder());
    first.edit(Edit::Copy, "tone:0", "tone:1");
    second.edit(Edit::Copy, "tone:0", "tone:1");
    QCOMPARE(int(first.history.undoable().size()), 2);

    // The first keyboard's undo takes back its own change, not the newer one of the second
    // (whose kept tone:1 is another tone).
    first.reverse(true);
    QCOMPARE(first.memory(), memoryText(KeyboardMemory::demo()));
    // A new change on the first keyboard leaves the second's history as it was.
    first.edit(Edit::Swap, "tone:2", "tone:3");
    second.reverse(true);
    QCOMPARE(second.memory(), memoryText(other));
    const QString secondKeyboard = keyboardIdentity(second.link());
    QCOMPARE(int(first.history.undoable(secondKeyboard).size()), 0);
    second.reverse(false);
    second.reverse(true);
    QCOMPARE(second.memory(), memoryText(other));
    // The first keyboard's redo is gone with its new change; the swap is what it can undo.
    QCOMPARE(int(first.history.redoable(keyboardIdentity(first.link())).size()), 0);
    first.reverse(true);
    QCOMPARE(first.memory(), memoryText(KeyboardMemory::demo()));
}

void TestOrganise::aChangeTakenBackTwiceIsListedOnce() {
    // Two programs that took back the same change (the history replaced under them, say): the
    // second's reversal becomes a change of its own, undoable like any other, and never a
    // second redo of the first (a new change ends what could be redone, as always).
    Bench bench;
    bench.edit(Edit::Copy, "tone:0", "tone:1");
    const safety::Change change = bench.history.undoable().front();
    bench.reverse(true);
    QCOMPARE(int(bench.history.redoable().size()), 1);
    safety::Change again = change;
    again.action = "undo";
    bench.history.reversed(change.id, again, true);
    QCOMPARE(int(bench.history.redoable().size()), 0);
    const auto undoable = bench.history.undoable();
    QCOMPARE(int(undoable.size()), 1);
    QCOMPARE(undoable.front().action, QString("undo"));
    QVERIFY(undoable.front().id > change.id);
}

void TestOrganise::aSongThatDoesNotFitChangesNothing() {
    // A rhythm fills the song and rhythm memory but for 500 bytes; the 1,800-byte song is copied
    // into the empty song slot.
    KeyboardMemory full = KeyboardMemory::demo();
    const int used = full.size(kSong0) + full.size(kRhythm0) + full.size({DataType::Rhythm, 0, 2});
    const auto freeWords = std::size_t(KeyboardMemory::kSongRhythmBytes - used - 500) / 2;
    full.setData({DataType::Rhythm, 0, 1}, std::vector<std::uint16_t>(freeWords, 0x0101));
    Bench bench(full);
    QString text;
    try {
        bench.edit(Edit::Copy, "song:0", "song:1");
    } catch (...) {
        text = currentErrorText(bench.messages);
    }
    QVERIFY2(text.contains("memory", Qt::CaseInsensitive), qPrintable(text));
    QCOMPARE(bench.memory(), memoryText(full));
    QCOMPARE(int(bench.history.undoable().size()), 0);
}

// Two changes undone, then redone, in turn: an undo under way (in the history before its first
// message) leaves what can be redone as it was.
void TestOrganise::undoneChangesAreRedoneInTurn() {
    Bench bench;
    const QString start = bench.memory();
    bench.edit(Edit::Swap, "tone:0", "tone:1");
    const QString swapped = bench.memory();
    bench.edit(Edit::Copy, "tone:2", "tone:3");
    const QString copied = bench.memory();
    bench.reverse(true);
    QCOMPARE(bench.memory(), swapped);
    bench.reverse(true);
    QCOMPARE(bench.memory(), start);
    QCOMPARE(int(bench.history.redoable().size()), 2);
    bench.reverse(false);
    QCOMPARE(bench.memory(), swapped);
    bench.reverse(false);
    QCOMPARE(bench.memory(), copied);
}

void TestOrganise::aSendStoppedOverASongHandsBackTheOldSong() {
    // The second song, in a file, sent over the first; the user stops it at its first data
    // block, when the old song has been deleted and the new one is not whole.
    Bench bench(twoSongs());
    const QString file = bench.kept.filePath("second.nvb");
    {
        EkDataFile item(DataType::NoType);
        transfer::fetchItem(findSlot(bench.driver, slot("song:1")), bench.link(), nullptr, item);
        NvbFileStream(file, NvbFileStream::Create).write(item);
    }
    const auto placements = batch::placeFiles(bench.driver, {file}, slot("song:0"));
    bench.rig.clearTraffic();
    platform::Cancellation::clear();
    const QMetaObject::Connection stop =
        QObject::connect(&bench.rig.keyboard, &kbdsim::SimulatedKeyboard::traffic,
                         [&](bool fromProgram, const QByteArray&) {
                             if (fromProgram && dataBlocksFrom(bench.rig.fromProgram()) == 1) {
                                 platform::Cancellation::request();
                             }
                         });
    std::optional<safety::Copy> kept;
    try {
        ops::send(bench.target(), placements, false);
        QFAIL("the stopped send went on");
    } catch (const ops::SongEmptiedByStop& stopped) {
        QVERIFY(stopped.cancelled());
        kept = stopped.kept();
    }
    QObject::disconnect(stop);
    platform::Cancellation::clear();
    QVERIFY(kept.has_value());
    QCOMPARE(kept->slot, slot("song:0"));
    EkDataFile old(DataType::NoType);
    bench.store.loadChecked(*kept, old);
    QCOMPARE(old.words(), twoSongs().data(kSong0));
    QVERIFY(bench.settledMemory().data(kSong0).empty());
    // The stopped send is a change of its own: its undo puts the old song back.
    bench.relist();
    bench.reverse(true, true);
    QCOMPARE(bench.memory(), memoryText(twoSongs()));
}

void TestOrganise::withoutKeptCopiesAChangeIsMadeAndNothingRecorded_data() {
    QTest::addColumn<Change>("change");
    QTest::newRow("send") << Change([](Bench& bench) {
        const QString file = bench.kept.filePath("tone.nvb");
        EkDataFile item(DataType::NoType);
        transfer::fetchItem(findSlot(bench.driver, slot("tone:3")), bench.link(), nullptr, item);
        NvbFileStream(file, NvbFileStream::Create).write(item);
        ops::Target target = bench.target();
        target.keepCopies = false;
        const auto outcomes =
            ops::send(target, batch::placeFiles(bench.driver, {file}, slot("tone:0")), true);
        QVERIFY(!outcomes[0].failed());
        QCOMPARE(outcomes[0].keptCopy, std::int64_t(0));
    });
    QTest::newRow("delete") << Change([](Bench& bench) {
        ops::Target target = bench.target();
        target.keepCopies = false;
        const auto outcomes = ops::remove(target, {slot("song:0")});
        QVERIFY(!outcomes[0].failed());
        QCOMPARE(outcomes[0].keptCopy, std::int64_t(0));
    });
}

void TestOrganise::withoutKeptCopiesAChangeIsMadeAndNothingRecorded() {
    // The user chose to keep no copies: the keyboard changes, no copy is made and the history
    // holds nothing an undo could take back without one.
    QFETCH(Change, change);
    Bench bench;
    change(bench);
    QVERIFY(bench.memory() != memoryText(KeyboardMemory::demo()));
    QCOMPARE(int(bench.store.copies().size()), 0);
    QCOMPARE(int(bench.history.undoable().size()), 0);
    QVERIFY(!ops::latestChange(bench.target(), true).has_value());
}

QTEST_GUILESS_MAIN(TestOrganise)
#include "tst_organise.moc"
