// The whole-keyboard backup and restore of the core against the in-process software keyboard:
// what a damaged manifest is refused for, and a restore that goes on past the items it cannot
// put back.

#include <sys/stat.h>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "backup/batchjobs.h"
#include "backup/keyboardbackup.h"
#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "msg/msgstr.h"
#include "msg/operateexception.h"
#include "platform/cancellation.h"
#include "platform/systemerror.h"
#include "platform/userlocale.h"
#include "safety/history.h"
#include "safety/safetystore.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbstreamexception.h"
#include "support/codedfailure.h"
#include "support/keyboardrig.h"
#include "sysex/sysexrecords.h"

using kbdsim::KeyboardMemory;

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

class TestKeyboardBackup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void damagedManifestIsRefused_data();
    void damagedManifestIsRefused();
    void restoreGoesOnPastItemsItCannotPutBack();
    void restoreKeepsWhatItReplacesAndSendsOnlyWhatDiffers();
    void backupNeverLeavesAMixedFolder_data();
    void backupNeverLeavesAMixedFolder();
    void lostAnswersAreTriedOnceMoreThenTheJobStops_data();
    void lostAnswersAreTriedOnceMoreThenTheJobStops();
    void severalFilesArePlacedOrRefusedBeforeAnythingIsSent_data();
    void severalFilesArePlacedOrRefusedBeforeAnythingIsSent();
};

void TestKeyboardBackup::damagedManifestIsRefused_data() {
    using platform::ErrorCode;
    QTest::addColumn<QByteArray>("manifest");  // empty: none at all
    QTest::addColumn<ErrorCode>("failure");
    QTest::addColumn<ErrorCode>("reason");
    QTest::addColumn<QStringList>("reasonArgs");  // compared when given
    QTest::newRow("missing") << QByteArray() << ErrorCode::CannotOpen << ErrorCode::ServiceText
                             << QStringList();
    QTest::newRow("not JSON") << QByteArray("{\"format\": 1,") << ErrorCode::ManifestUnusable
                              << ErrorCode::ServiceText << QStringList();
    QTest::newRow("another format")
        << QByteArray(R"({"format": 3, "items": []})") << ErrorCode::ManifestUnusable
        << ErrorCode::NotOurManifest << QStringList();
    QTest::newRow("format 2 without a hash")
        << QByteArray(R"({"format": 2, "items": [{"slot": "tone:1", "file": "a.nvb"}]})")
        << ErrorCode::ManifestUnusable << ErrorCode::ManifestNoFingerprint << QStringList{"a.nvb"};
    QTest::newRow("no such slot")
        << QByteArray(R"({"format": 1, "items": [{"slot": "tone:10", "file": "a.nvb"}]})")
        << ErrorCode::ManifestUnusable << ErrorCode::ManifestNotASlot << QStringList{"tone:10"};
    QTest::newRow("file outside the folder")
        << QByteArray(R"({"format": 1, "items": [{"slot": "tone:1", "file": "../a.nvb"}]})")
        << ErrorCode::ManifestUnusable << ErrorCode::ManifestForeignFile << QStringList{"../a.nvb"};
    QTest::newRow("no items") << QByteArray(R"({"format": 1, "model": "MLS-850"})")
                              << ErrorCode::ManifestUnusable << ErrorCode::ManifestHasNoItems
                              << QStringList();
    QTest::newRow("items not a list")
        << QByteArray(R"({"format": 1, "items": {"slot": "tone:1", "file": "a.nvb"}})")
        << ErrorCode::ManifestUnusable << ErrorCode::ManifestHasNoItems << QStringList();
    QTest::newRow("a FIFO") << QByteArray("fifo") << ErrorCode::CannotOpen
                            << ErrorCode::NotRegularFile << QStringList();
    // Edited back to the first format, it still carries hashes: they are still checked.
    QTest::newRow("format 1 with a damaged hash")
        << QByteArray(R"({"format": 1, "items": [{"slot": "tone:1", "file": "a.nvb", )"
                      R"("sha256": "9f86d0"}]})")
        << ErrorCode::ManifestUnusable << ErrorCode::ManifestNoFingerprint << QStringList{"a.nvb"};
    QTest::newRow("a link") << QByteArray("link") << ErrorCode::CannotOpen
                            << ErrorCode::IsSymbolicLink << QStringList();
    QTest::newRow("a slot named twice")
        << QByteArray(R"({"format": 1, "items": [{"slot": "song:1", "file": "a.nvb"},)"
                      R"({"slot": "song:1", "file": "b.nvb"}]})")
        << ErrorCode::ManifestUnusable << ErrorCode::ManifestSlotTwice << QStringList{"song:1"};
    QByteArray many = R"({"format": 1, "items": [)";
    for (int i = 0; i < 780; ++i) {
        many += QByteArray(i > 0 ? "," : "") + R"({"slot": "song:1", "file": "a.nvb"})";
    }
    QTest::newRow("more items than slots")
        << many + "]}" << ErrorCode::ManifestUnusable << ErrorCode::ManifestTooManyItems
        << QStringList{"780", "42"};
    QTest::newRow("far too large")
        << QByteArray(R"({"format": 1, "items": [)") + QByteArray(2 * 1024 * 1024, ' ') + "]}"
        << ErrorCode::CannotRead << ErrorCode::LargerThanItsKind << QStringList();
}

void TestKeyboardBackup::damagedManifestIsRefused() {
    QFETCH(QByteArray, manifest);
    QFETCH(platform::ErrorCode, failure);
    QFETCH(platform::ErrorCode, reason);
    QFETCH(QStringList, reasonArgs);
    QTemporaryDir folder;
    if (manifest == "fifo") {
        // Read, it would wait for a writer for ever.
        QCOMPARE(::mkfifo(qPrintable(folder.filePath(backup::kManifestName)), 0600), 0);
    } else if (manifest == "link") {
        QTemporaryDir elsewhere;
        write(elsewhere.filePath(backup::kManifestName), R"({"format": 1, "items": []})");
        QVERIFY(QFile::link(elsewhere.filePath(backup::kManifestName),
                            folder.filePath(backup::kManifestName)));
    } else if (!manifest.isEmpty()) {
        write(folder.filePath(backup::kManifestName), manifest);
    }
    const auto refused = codedFailure([&] { backup::Manifest::read(folder.path()); });
    QVERIFY2(refused, "the manifest was taken");
    QCOMPARE(refused->code, failure);
    QCOMPARE(reasonOf(*refused), reason);
    if (!reasonArgs.isEmpty()) {
        QCOMPARE(refused->reason->args, reasonArgs);
    }
    // Where the text names the folder, it is the folder read.
    if (failure == platform::ErrorCode::ManifestUnusable) {
        QCOMPARE(refused->args.value(0), QDir::toNativeSeparators(folder.path()));
    }
}

void TestKeyboardBackup::restoreGoesOnPastItemsItCannotPutBack() {
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    const KeyboardLink link{driver, rig.inputNumber(), rig.outputNumber()};
    const MsgStr messages(1033);
    QTemporaryDir folder;
    const auto saved = backup::backupKeyboard(link, folder.path(), nullptr);
    QCOMPARE(int(saved.size()), 39);

    // One file gone, one file holding a DSP setting where a tone was (its entry without a hash,
    // as the first format wrote them), one not a keyboard file, one changed since the backup.
    backup::Manifest manifest = backup::Manifest::read(folder.path());
    manifest.entries[1].sha256.clear();
    QVERIFY(QFile::remove(folder.filePath(manifest.entries[0].file)));
    QVERIFY(QFile::remove(folder.filePath(manifest.entries[1].file)));
    QVERIFY(QFile::copy(folder.filePath(manifest.entries[10].file),
                        folder.filePath(manifest.entries[1].file)));
    write(folder.filePath(manifest.entries[2].file), "text");
    QFile changed(folder.filePath(manifest.entries[3].file));
    QVERIFY(changed.open(QIODevice::ReadWrite));
    QByteArray bytes = changed.readAll();
    bytes[bytes.size() - 1] = char(bytes.back() ^ 1);
    QVERIFY(changed.seek(0));
    changed.write(bytes);
    changed.close();
    // One a link to an identical file outside the folder; one with no hash to check.
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath("outside.nvb");
    QVERIFY(QFile::rename(folder.filePath(manifest.entries[4].file), outside));
    QVERIFY(QFile::link(outside, folder.filePath(manifest.entries[4].file)));
    manifest.entries[5].sha256.clear();
    rig.keyboard.memory() = KeyboardMemory();
    driver.getList(rig.inputNumber(), rig.outputNumber());

    const auto restored = backup::restoreKeyboard(link, manifest, folder.path(), nullptr, nullptr);
    QCOMPARE(int(restored.size()), 39);
    QVERIFY2(backup::reasonText(restored[0].error, messages).contains("Cannot open"),
             qPrintable(backup::reasonText(restored[0].error, messages)));
    QCOMPARE(backup::reasonText(restored[1].error, messages), QString("Data type is different"));
    QCOMPARE(backup::reasonText(restored[2].error, messages), QString("No NVB file"));
    // The outcome carries no language: each front end says it in its own, with the same code.
    const MsgStr japanese(platform::kLocaleJapanese);
    QCOMPARE(backup::reasonText(restored[1].error, japanese),
             japanese.streamErrorText(NvbStreamException::TypeMismatch));
    QCOMPARE(backup::reasonText(restored[0].error, japanese),
             platform::errorText(*restored[0].error, true));
    QCOMPARE(restored[0].code, QString("file"));
    QCOMPARE(restored[1].code, QString("type-mismatch"));
    QVERIFY2(backup::reasonText(restored[3].error, messages)
                 .contains("has changed since the backup was made"),
             qPrintable(backup::reasonText(restored[3].error, messages)));
    QVERIFY2(backup::reasonText(restored[4].error, messages).contains("it is a symbolic link"),
             qPrintable(backup::reasonText(restored[4].error, messages)));
    QCOMPARE(backup::reasonText(restored[5].warning, messages),
             QString("sent without a check: the manifest (of the first format) holds no SHA-256 "
                     "of \"%1\".")
                 .arg(manifest.entries[5].file));
    for (std::size_t i = 5; i < restored.size(); ++i) {
        QVERIFY2(!restored[i].failed(),
                 qPrintable(backup::reasonText(restored[i].error, messages)));
        QCOMPARE(restored[i].warning.has_value(), i == 5);
    }
    // Everything else is back in its slot; the five tones stay blank.
    KeyboardMemory expected = KeyboardMemory::demo();
    for (int tone = 0; tone < 5; ++tone) {
        expected.setData({DataType::Tone, 0, tone},
                         KeyboardMemory().data({DataType::Tone, 0, tone}));
    }
    QTRY_COMPARE(rig.keyboard.memory().toJson(), expected.toJson());
}

namespace {

// The slots the program sent an item into (its DataBlocks), in order, without repeats.
QStringList slotsWritten(const std::vector<QByteArray>& fromProgram) {
    constexpr int kTypeByte = 5;
    QStringList written;
    for (const QByteArray& message : fromProgram) {
        if (message.size() > 9 && (quint8(message[kTypeByte]) >> 4) == SysExType::DataBlock) {
            const QString where = QString::number(quint8(message[kTypeByte]) & 0x0F) + '/' +
                                  QString::number(quint8(message[8]) | (quint8(message[9]) << 7));
            if (!written.contains(where)) {
                written << where;
            }
        }
    }
    return written;
}

}  // namespace

void TestKeyboardBackup::restoreKeepsWhatItReplacesAndSendsOnlyWhatDiffers() {
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    const KeyboardLink link{driver, rig.inputNumber(), rig.outputNumber()};
    const MsgStr messages(1033);
    QTemporaryDir folder;
    QTemporaryDir kept;
    safety::Store store(kept.path());
    QCOMPARE(int(backup::backupKeyboard(link, folder.path(), nullptr).size()), 39);

    // Since the backup: tone 0 became another tone, rhythm 0 was deleted, and a song was
    // composed into the empty song slot 1.
    const std::vector<std::uint16_t> newTone = KeyboardMemory::demo().data({DataType::Tone, 0, 1});
    const std::vector<std::uint16_t> newSong(300, 0x1234);
    rig.keyboard.memory().setData({DataType::Tone, 0, 0}, newTone);
    rig.keyboard.memory().setData({DataType::Rhythm, 0, 0}, {});
    rig.keyboard.memory().setData({DataType::Song, 0, 1}, newSong);
    driver.getList(rig.inputNumber(), rig.outputNumber());
    rig.clearTraffic();

    const backup::Manifest manifest = backup::Manifest::read(folder.path());
    std::optional<safety::ChangeRecord> record(std::in_place, store, keyboardIdentity(link),
                                               "restore", QStringList{folder.path()});
    auto restored = backup::restoreKeyboard(link, manifest, folder.path(), nullptr, &*record);
    QCOMPARE(int(restored.size()), 39);
    const auto outcomeOf = [&](const QString& slot) {
        return *std::find_if(restored.begin(), restored.end(),
                             [&](const backup::Outcome& o) { return o.slot.text() == slot; });
    };
    for (const backup::Outcome& outcome : restored) {
        QVERIFY2(!outcome.failed(), qPrintable(backup::reasonText(outcome.error, messages)));
        const bool changed = outcome.slot.text() == "tone:0" || outcome.slot.text() == "rhythm:0";
        QCOMPARE(outcome.identical, !changed);
    }
    // Only the two slots that differ were written; the tone they replaced is kept, and the
    // song composed since is still there.
    QCOMPARE(slotsWritten(rig.fromProgram()).size(), 2);
    const backup::Outcome tone = outcomeOf("tone:0");
    QVERIFY(tone.keptCopy != 0);
    QCOMPARE(outcomeOf("rhythm:0").keptCopy, std::int64_t(0));  // it was empty: nothing to keep
    const auto copy = store.find(tone.keptCopy);
    QVERIFY(copy.has_value());
    QCOMPARE(copy->why, safety::Why::Restore);
    EkDataFile keptTone(DataType::NoType);
    store.loadChecked(*copy, keptTone);
    QCOMPARE(keptTone.words(), newTone);
    KeyboardMemory expected = KeyboardMemory::demo();
    expected.setData({DataType::Song, 0, 1}, newSong);
    QTRY_COMPARE(rig.keyboard.memory().toJson(), expected.toJson());

    // Onto a keyboard that holds the backup already: nothing is sent, nothing kept.
    driver.getList(rig.inputNumber(), rig.outputNumber());
    rig.clearTraffic();
    record.emplace(store, keyboardIdentity(link), "restore", QStringList{folder.path()});
    restored = backup::restoreKeyboard(link, manifest, folder.path(), nullptr, &*record);
    QVERIFY(std::all_of(restored.begin(), restored.end(),
                        [](const backup::Outcome& o) { return o.identical && o.keptCopy == 0; }));
    QCOMPARE(slotsWritten(rig.fromProgram()), QStringList());
    QCOMPARE(int(store.copies().size()), 1);

    // Exact: the song the backup does not have is kept, then deleted; the rest stays as it is.
    record.emplace(store, keyboardIdentity(link), "restore", QStringList{folder.path()});
    restored = backup::restoreKeyboard(link, manifest, folder.path(), nullptr, &*record,
                                       backup::Extras::Delete);
    QCOMPARE(int(restored.size()), 40);
    const backup::Outcome removed = restored.back();
    QCOMPARE(removed.slot.text(), QString("song:1"));
    QVERIFY2(removed.removed && !removed.failed(),
             qPrintable(backup::reasonText(removed.error, messages)));
    EkDataFile keptSong(DataType::NoType);
    store.loadChecked(*store.find(removed.keptCopy), keptSong);
    QCOMPARE(keptSong.words(), newSong);
    QTRY_COMPARE(rig.keyboard.memory().toJson(), KeyboardMemory::demo().toJson());
}

namespace {

// Does something to the job (a cancel, a keyboard gone silent) once `items` items have started.
class AfterItems : public backup::JobProgress {
public:
    AfterItems(int items, std::function<void()> action)
        : items_(items), action_(std::move(action)) {}
    void jobStarted(std::int64_t) override {}
    void itemStarted(const SlotAddress&, const QString&) override {
        if (items_-- == 0) {
            action_();
        }
    }
    void jobAdvanced(std::int64_t) override {}

private:
    int items_;
    std::function<void()> action_;
};

// Every file of a folder, hidden ones included, with its bytes.
QMap<QString, QByteArray> contents(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly)) {
            files[QDir(folder).relativeFilePath(file.fileName())] = file.readAll();
        }
    }
    return files;
}

}  // namespace

void TestKeyboardBackup::backupNeverLeavesAMixedFolder_data() {
    QTest::addColumn<bool>("olderBackup");  // the folder holds the backup of another keyboard
    QTest::addColumn<bool>("replace");
    QTest::addColumn<int>("stopAfter");    // items before a cancel; -1: none
    QTest::addColumn<QString>("stop");     // "cancel", or "silent": the keyboard stops answering
    QTest::addColumn<QString>("refusal");  // the error's code, "cancelled"; empty: ends well
    QTest::newRow("fresh folder") << false << false << -1 << ""
                                  << "";
    QTest::newRow("fresh folder, cancelled") << false << false << 4 << "cancel"
                                             << "cancelled";
    QTest::newRow("fresh folder, keyboard gone") << false << false << 4 << "silent"
                                                 << "NothingKept";
    QTest::newRow("older backup kept") << true << false << -1 << ""
                                       << "BackupExists";
    QTest::newRow("older backup replaced") << true << true << -1 << ""
                                           << "";
    QTest::newRow("older backup, replace cancelled") << true << true << 4 << "cancel"
                                                     << "cancelled";
    QTest::newRow("older backup, keyboard gone") << true << true << 4 << "silent"
                                                 << "NothingKept";
}

void TestKeyboardBackup::backupNeverLeavesAMixedFolder() {
    QFETCH(bool, olderBackup);
    QFETCH(bool, replace);
    QFETCH(int, stopAfter);
    QFETCH(QString, stop);
    QFETCH(QString, refusal);
    const MsgStr messages(1033);
    QTemporaryDir folder;
    // The user's own file, named as a file of the new backup will be.
    write(folder.filePath("TON_Velvet  .nvb"), "my own notes");
    if (olderBackup) {
        // Another keyboard: a single song under another name.
        KeyboardMemory other;
        other.setData({DataType::Song, 0, 1}, std::vector<std::uint16_t>(50, 7));
        other.setName({DataType::Song, 0, 1}, "OldSong ");
        KeyboardRig oldRig(other, "Test old keyboard");
        EkKbdDrv oldDriver("MLS-850");
        oldDriver.getList(oldRig.inputNumber(), oldRig.outputNumber());
        backup::backupKeyboard({oldDriver, oldRig.inputNumber(), oldRig.outputNumber()},
                               folder.path(), nullptr);
    }
    // What a backup killed midway leaves: its hidden staging folder. The next one clears it.
    QVERIFY(QDir(folder.path()).mkpath(".nvbman-backup-Ab12Cd"));
    write(folder.filePath(".nvbman-backup-Ab12Cd/TON_Piano   .nvb"), "half a backup");
    QMap<QString, QByteArray> before = contents(folder.path());
    before.remove(".nvbman-backup-Ab12Cd/TON_Piano   .nvb");

    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    AfterItems disturbance(stopAfter, [&] {
        if (stop == "cancel") {
            platform::Cancellation::request();
        } else {
            kbdsim::Faults faults;
            faults.silent = true;
            rig.keyboard.setFaults(faults);
        }
    });
    platform::Cancellation::clear();
    QString failure;
    try {
        backup::backupKeyboard({driver, rig.inputNumber(), rig.outputNumber()}, folder.path(),
                               &disturbance,
                               replace ? backup::OldBackup::Replace : backup::OldBackup::Refuse);
    } catch (const platform::SystemError& e) {
        failure = QMetaEnum::fromType<platform::ErrorCode>().valueToKey(int(e.code()));
    } catch (const platform::Cancelled&) {
        failure = "cancelled";
    }
    platform::Cancellation::clear();
    QCOMPARE(failure, refusal);
    if (!refusal.isEmpty()) {
        // Nothing new, nothing lost; a refused backup (before it began) clears nothing either.
        if (refusal == "BackupExists") {
            before.insert(".nvbman-backup-Ab12Cd/TON_Piano   .nvb", "half a backup");
        }
        QCOMPARE(contents(folder.path()), before);
        return;
    }
    QCOMPARE(QDir(folder.path()).entryList({".nvbman-backup-*"}, QDir::AllEntries | QDir::Hidden),
             QStringList());
    // One backup, of this keyboard only: every file the manifest names, no file of the old one.
    const backup::Manifest manifest = backup::Manifest::read(folder.path());
    QCOMPARE(int(manifest.entries.size()), 39);
    QStringList expected{backup::kManifestName};
    for (const backup::ManifestEntry& entry : manifest.entries) {
        expected << entry.file;
    }
    QStringList shown = QDir(folder.path()).entryList(QDir::Files);
    expected.sort();
    shown.sort();
    QCOMPARE(shown, expected);
    // The user's file of the same name was moved aside, never overwritten.
    const QMap<QString, QByteArray> after = contents(folder.path());
    QCOMPARE(after.values().count("my own notes"), 1);
    QVERIFY(!after.keys().filter("OldSong").size());
}

void TestKeyboardBackup::lostAnswersAreTriedOnceMoreThenTheJobStops_data() {
    QTest::addColumn<bool>("restore");
    QTest::addColumn<bool>("silent");  // the keyboard stops answering; else one answer is lost
    QTest::newRow("backup, one answer lost") << false << false;
    QTest::newRow("backup, keyboard gone silent") << false << true;
    QTest::newRow("restore, one answer lost") << true << false;
    QTest::newRow("restore, keyboard gone silent") << true << true;
}

void TestKeyboardBackup::lostAnswersAreTriedOnceMoreThenTheJobStops() {
    QFETCH(bool, restore);
    QFETCH(bool, silent);
    const MsgStr messages(1033);
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    const KeyboardLink link{driver, rig.inputNumber(), rig.outputNumber()};
    QTemporaryDir folder;
    if (restore) {
        backup::backupKeyboard(link, folder.path(), nullptr);
    }
    kbdsim::Faults faults;
    if (silent) {
        faults.silent = true;
    } else {
        // The third answer of the items' transfers never comes: that transfer times out. A
        // restore asks each slot what it holds before it fetches it (the kind and the tone's
        // name: three answers more before each of the first two tones' block and End).
        constexpr int kSlotReadAnswers = 3;
        constexpr int kItemsBefore = 2;
        faults.dropAnswer =
            int(rig.toProgram().size()) + (restore ? kItemsBefore * kSlotReadAnswers : 0) + 3;
    }
    rig.keyboard.setFaults(faults);
    QElapsedTimer clock;
    clock.start();
    std::vector<backup::Outcome> outcomes;
    const auto failure = codedFailure([&] {
        outcomes = restore ? backup::restoreKeyboard(link, backup::Manifest::read(folder.path()),
                                                     folder.path(), nullptr, nullptr)
                           : backup::backupKeyboard(link, folder.path(), nullptr,
                                                    backup::OldBackup::Replace);
    });
    if (!silent) {
        QVERIFY2(!failure, failure ? qPrintable(platform::errorText(*failure, false)) : "");
        QCOMPARE(int(outcomes.size()), 39);
        int retried = 0;
        for (const backup::Outcome& outcome : outcomes) {
            QVERIFY2(!outcome.failed(), qPrintable(backup::reasonText(outcome.error, messages)));
            retried += outcome.retried ? 1 : 0;
        }
        QCOMPARE(retried, 1);
        return;
    }
    // Two time-outs on the first item, then no more waiting: the job says what it did not try.
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    if (restore) {
        QCOMPARE(int(outcomes.size()), 39);
        QCOMPARE(backup::reasonText(outcomes[0].error, messages), QString("MIDI Timeout"));
        QVERIFY(outcomes[0].retried);
        for (std::size_t i = 1; i < outcomes.size(); ++i) {
            QCOMPARE(backup::reasonText(outcomes[i].error, messages),
                     QString("Not tried: the keyboard stopped answering."));
        }
    } else {
        QVERIFY(failure);
        QCOMPARE(failure->code, platform::ErrorCode::NothingKept);
        QCOMPARE(reasonOf(*failure), platform::ErrorCode::StoppedAfterItems);
        QCOMPARE(failure->reason->args, QStringList({"0", "39"}));
        QCOMPARE(messages.codedText(*failure->reason),
                 QString("The keyboard stopped answering after 0 of 39 items (MIDI Timeout)."));
    }
}

void TestKeyboardBackup::severalFilesArePlacedOrRefusedBeforeAnythingIsSent_data() {
    QTest::addColumn<QStringList>("files");   // t: a tone, d: a DSP setting, x: no .nvb file
    QTest::addColumn<QString>("first");       // the slot the first file goes into
    QTest::addColumn<QStringList>("placed");  // the slots, in order; empty when refused
    QTest::addColumn<QString>("refusal");     // the failure: does-not-fit, wrong-type, not-nvb
    QTest::newRow("tones from tone:3") << QStringList{"t", "t", "t"} << "tone:3"
                                       << QStringList{"tone:3", "tone:4", "tone:5"} << "";
    QTest::newRow("up to the last slot")
        << QStringList{"t", "t"} << "tone:8" << QStringList{"tone:8", "tone:9"} << "";
    QTest::newRow("past the last slot")
        << QStringList{"t", "t", "t"} << "tone:8" << QStringList{} << "does-not-fit";
    QTest::newRow("past a bank's last registration")
        << QStringList{"t", "t"} << "reg:1.3" << QStringList{} << "does-not-fit";
    QTest::newRow("a DSP setting among tones")
        << QStringList{"t", "d", "t"} << "tone:0" << QStringList{} << "wrong-type";
    // One file of another kind is refused as the keyboard would refuse it.
    QTest::newRow("one file of the wrong kind")
        << QStringList{"d"} << "tone:0" << QStringList{} << "type-mismatch";
    QTest::newRow("a file that is no .nvb file")
        << QStringList{"t", "x"} << "tone:0" << QStringList{} << "not-nvb";
    QTest::newRow("nothing to place")
        << QStringList{} << "tone:0" << QStringList{} << "does-not-fit";
}

void TestKeyboardBackup::severalFilesArePlacedOrRefusedBeforeAnythingIsSent() {
    QFETCH(QStringList, files);
    QFETCH(QString, first);
    QFETCH(QStringList, placed);
    QFETCH(QString, refusal);
    QTemporaryDir folder;
    QStringList paths;
    for (int i = 0; i < files.size(); ++i) {
        const QString path = folder.filePath(QString("%1-%2.nvb").arg(i).arg(files[i]));
        if (files[i] == "x") {
            write(path, "words, not a keyboard item\n");
        } else {
            const bool tone = files[i] == "t";
            EkDataFile item(tone ? DataType::Tone : DataType::DSP);
            item.setSize(tone ? 60 : 36);
            item.words().assign(tone ? 30 : 18, std::uint16_t(i));
            NvbFileStream(path, NvbFileStream::Create).write(item);
        }
        paths << path;
    }
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    rig.clearTraffic();
    QString failure;
    QStringList slots;
    try {
        for (const batch::Placement& placement :
             batch::placeFiles(driver, paths, *SlotAddress::parse(first))) {
            slots << placement.slot.text();
            QCOMPARE(placement.file, paths[slots.size() - 1]);
        }
    } catch (const OperateException& e) {
        failure = e.code() == OperateException::DoesNotFit  ? "does-not-fit"
                  : e.code() == OperateException::WrongType ? "wrong-type"
                                                            : "other";
    } catch (const NvbStreamException& e) {
        failure = e.code() == NvbStreamException::TypeMismatch ? "type-mismatch" : "not-nvb";
    }
    QCOMPARE(failure, refusal);
    QCOMPARE(slots, placed);
    QVERIFY(rig.fromProgram().empty());  // placing reads files; it never talks to the keyboard
}

QTEST_GUILESS_MAIN(TestKeyboardBackup)
#include "tst_keyboardbackup.moc"
