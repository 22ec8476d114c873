// Import file names, and a file's round trip through the keyboard by the shared transfer
// bodies.

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbtransfer.h"
#include "support/codedfailure.h"
#include "support/keyboardrig.h"

class TestNvbTransfer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void importFileNames_data();
    void importFileNames();
    void importThenSendRoundTrip();
    void sameNamesGoToTheRightSlot();
    void aLinkIsNeverWrittenThrough_data();
    void aLinkIsNeverWrittenThrough();
};

void TestNvbTransfer::importFileNames_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("tone keeps trailing blanks")
        << 2 << QByteArray("Piano   ") << "TON_Piano   .nvb";
    QTest::newRow("dsp") << 9 << QByteArray("Hall 1  ") << "DSP_Hall 1  .nvb";
    QTest::newRow("song") << 10 << QByteArray("Sunrise ") << "SNG_Sunrise .nvb";
    QTest::newRow("rhythm") << 11 << QByteArray("Bossa 2 ") << "RHY_Bossa 2 .nvb";
    QTest::newRow("registration") << 12 << QByteArray("Preset01") << "REG_Preset01.nvb";
    QTest::newRow("other type, no prefix") << 13 << QByteArray("MLS-850") << "MLS-850.nvb";
    QTest::newRow("separators") << 10 << QByteArray("a/b\\c:d ") << "SNG_a_b_c_d .nvb";
    QTest::newRow("parent folder") << 10 << QByteArray("../../x ") << "SNG_.._.._x .nvb";
    QTest::newRow("control characters") << 11
                                        << QByteArray(
                                               "a\tb\x01\x7F"
                                               "c  ",
                                               8)
                                        << "RHY_a_b__c  .nvb";
    QTest::newRow("refused by some systems") << 2 << QByteArray("a*b?\"<>|") << "TON_a_b_____.nvb";
    QTest::newRow("high bytes kept")
        << 2 << QByteArray("\xB1\xB2\xB3 abc ") << QString::fromLatin1("TON_\xB1\xB2\xB3 abc .nvb");
}

void TestNvbTransfer::importFileNames() {
    QFETCH(int, type);
    QFETCH(QByteArray, name);
    QFETCH(QString, fileName);
    QCOMPARE(transfer::importFileName(std::uint16_t(type), name.toStdString()), fileName);
}

void TestNvbTransfer::importThenSendRoundTrip() {
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    QTemporaryDir dir;
    const QString path =
        transfer::importSlot(findSlot(driver, *SlotAddress::parse("rhythm:2")), dir.path(),
                             {driver, rig.inputNumber(), rig.outputNumber()}, nullptr);
    QCOMPARE(QFileInfo(path).fileName(), QString("RHY_Shuffle .nvb"));

    const SlotInTree empty = findSlot(driver, *SlotAddress::parse("rhythm:3"));
    EkDataFile item(DataType::NoType);
    transfer::loadFile(path, item);
    transfer::sendItem(item, empty, {driver, rig.inputNumber(), rig.outputNumber()}, nullptr);
    QCOMPARE(rig.keyboard.memory().data({11, 0, 3}), rig.keyboard.memory().data({11, 0, 2}));
    QCOMPARE(empty.slot->name(), std::string("Shuffle "));
}

// Two slots of one folder may carry the same name; a transfer on a slot must use that slot.
void TestNvbTransfer::sameNamesGoToTheRightSlot() {
    kbdsim::KeyboardMemory memory = kbdsim::KeyboardMemory::demo();
    memory.setData({10, 0, 1}, std::vector<std::uint16_t>(50, 0x4141));
    memory.setName({10, 0, 1}, "Sunrise");
    KeyboardRig rig(memory);
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    const SlotInTree second = findSlot(driver, *SlotAddress::parse("song:1"));
    QCOMPARE(second.slot->name(), std::string("Sunrise "));
    QTemporaryDir dir;
    const QString path = transfer::importSlot(
        second, dir.path(), {driver, rig.inputNumber(), rig.outputNumber()}, nullptr);
    EkDataFile item(DataType::NoType);
    NvbFileStream(path, NvbFileStream::OpenRead).read(item);
    QCOMPARE(item.words(), rig.keyboard.memory().data({10, 0, 1}));
}

QTEST_GUILESS_MAIN(TestNvbTransfer)
void TestNvbTransfer::aLinkIsNeverWrittenThrough_data() {
    QTest::addColumn<int>("format");
    QTest::newRow(".nvb") << int(transfer::FileFormat::Nvb);
    QTest::newRow(".syx") << int(transfer::FileFormat::Syx);
}

void TestNvbTransfer::aLinkIsNeverWrittenThrough() {
    QFETCH(int, format);
    QTemporaryDir dir;
    const QString target = dir.filePath("elsewhere.txt");
    QFile file(target);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    const QString link = dir.filePath("TON_Velvet  .nvb");
    QVERIFY(QFile::link(target, link));
    EkDataFile item(DataType::Tone);
    item.setSize(60);
    item.words().assign(30, 0x1234);
    QCOMPARE(innermostFailure([&] {
                 transfer::saveItem(item, *SlotAddress::parse("tone:0"), link,
                                    transfer::FileFormat(format));
             }),
             QString("IsSymbolicLink"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
    QVERIFY(QFileInfo(link).isSymLink());
}

#include "tst_nvbtransfer.moc"
