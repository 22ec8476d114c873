// The whole-keyboard backup and restore of the core against the in-process software keyboard:
// what a damaged manifest is refused for, and a restore that goes on past the items it cannot
// put back.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "backup/keyboardbackup.h"
#include "kbddrv/ekkbddrv.h"
#include "msg/msgstr.h"
#include "platform/systemerror.h"
#include "support/keyboardrig.h"

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
};

void TestKeyboardBackup::damagedManifestIsRefused_data() {
    QTest::addColumn<QByteArray>("manifest");  // empty: none at all
    QTest::addColumn<QString>("reason");       // a part of the error's text
    QTest::newRow("missing") << QByteArray() << "nvbman-backup.json";
    QTest::newRow("not JSON") << QByteArray("{\"format\": 1,") << "cannot be used";
    QTest::newRow("another format") << QByteArray(R"({"format": 2, "items": []})")
                                    << "not a manifest of this program";
    QTest::newRow("no such slot")
        << QByteArray(R"({"format": 1, "items": [{"slot": "tone:10", "file": "a.nvb"}]})")
        << "\"tone:10\" is not a slot";
    QTest::newRow("file outside the folder")
        << QByteArray(R"({"format": 1, "items": [{"slot": "tone:1", "file": "../a.nvb"}]})")
        << "\"../a.nvb\" is not a file of this folder";
}

void TestKeyboardBackup::damagedManifestIsRefused() {
    QFETCH(QByteArray, manifest);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    if (!manifest.isEmpty()) {
        write(folder.filePath(backup::kManifestName), manifest);
    }
    try {
        backup::Manifest::read(folder.path());
        QFAIL("the manifest was taken");
    } catch (const platform::SystemError& e) {
        QVERIFY2(QString(e.what()).contains(reason), e.what());
    }
}

void TestKeyboardBackup::restoreGoesOnPastItemsItCannotPutBack() {
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    const backup::Link link{driver, rig.inputNumber(), rig.outputNumber()};
    const MsgStr messages(1033);
    QTemporaryDir folder;
    const auto saved = backup::backupKeyboard(link, folder.path(), messages, nullptr);
    QCOMPARE(int(saved.size()), 39);

    // One file gone, one file holding a DSP setting where a tone was, one not a keyboard file.
    backup::Manifest manifest = backup::Manifest::read(folder.path());
    QVERIFY(QFile::remove(folder.filePath(manifest.entries[0].file)));
    QVERIFY(QFile::remove(folder.filePath(manifest.entries[1].file)));
    QVERIFY(QFile::copy(folder.filePath(manifest.entries[10].file),
                        folder.filePath(manifest.entries[1].file)));
    write(folder.filePath(manifest.entries[2].file), "text");
    rig.keyboard.memory() = KeyboardMemory();
    driver.getList(rig.inputNumber(), rig.outputNumber());

    const auto restored = backup::restoreKeyboard(link, manifest, folder.path(), messages, nullptr);
    QCOMPARE(int(restored.size()), 39);
    QVERIFY2(restored[0].error.contains("Cannot open"), qPrintable(restored[0].error));
    QCOMPARE(restored[1].error, QString("Data type is different"));
    QCOMPARE(restored[2].error, QString("No NVB file"));
    for (std::size_t i = 3; i < restored.size(); ++i) {
        QVERIFY2(restored[i].error.isEmpty(), qPrintable(restored[i].error));
    }
    // Everything else is back in its slot; the three tones stay blank.
    KeyboardMemory expected = KeyboardMemory::demo();
    for (int tone = 0; tone < 3; ++tone) {
        expected.setData({DataType::Tone, 0, tone}, KeyboardMemory().data({DataType::Tone, 0, tone}));
    }
    QTRY_COMPARE(rig.keyboard.memory().toJson(), expected.toJson());
}

QTEST_GUILESS_MAIN(TestKeyboardBackup)
#include "tst_keyboardbackup.moc"
