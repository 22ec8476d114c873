// The data tree: header bytes, names at their places, kinds and ownership.

#include <QtTest>
#include <memory>

#include "data/ekdatadrive.h"
#include "data/ekdatafile.h"

using Bytes = std::vector<std::uint8_t>;
using Words = std::vector<std::uint16_t>;
Q_DECLARE_METATYPE(Words)

namespace {

QByteArray show(const std::uint8_t* bytes, std::size_t count) {
    return QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(count)).toHex(' ').toUpper();
}

// Counts its own destructions, to show each tree object is freed exactly once.
class CountedItem : public EkData {
public:
    explicit CountedItem(int& destroyed) : EkData(DataType::Song), destroyed_(destroyed) {}
    ~CountedItem() override { ++destroyed_; }

private:
    int& destroyed_;
};

}  // namespace

class TestDataTree : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newItemHeaderIsMagicTypeAndZeros();
    void sizeAndTypeAreStoredHighByteFirst_data();
    void sizeAndTypeAreStoredHighByteFirst();
    void kindFlagsTellTheClass();
    void namesGoToTheirPlace_data();
    void namesGoToTheirPlace();
    void dspNameExample();
    void storeNameWithoutDataChangesOnlyTheName();
    void longNameKeepsItsFirstEightCharacters();
    void loadNameOnShortDataKeepsTheName();
    void typeWithoutPlaceKeepsNameOnlyInTheObject();
    void adoptTakesTypeSizeAndName();
    void containersFreeEveryObjectOnce();
    void spaceAndSubdirectories();
};

void TestDataTree::newItemHeaderIsMagicTypeAndZeros() {
    EkData item(DataType::Tone);
    QByteArray expected = "56 45 4C 54 41 20 4D 75 73 69 63 20 4C 69 62 00 00 00 00 00 00 00 00 02";
    for (int i = 24; i < 64; ++i) {
        expected += " 00";
    }
    QCOMPARE(show(item.header().bytes().data(), 64), expected);
    QVERIFY(item.header().hasMagic());
    QVERIFY(item.name().empty());
    QCOMPARE(item.number(), 0);
    QCOMPARE(item.bank(), 0);
    QVERIFY(!item.isPresent());
}

void TestDataTree::sizeAndTypeAreStoredHighByteFirst_data() {
    QTest::addColumn<uint>("size");
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("bytes16to23");
    QTest::newRow("1000, song") << 1000u << 10 << QByteArray("00 00 03 E8 00 00 00 0A");
    QTest::newRow("largest, no type")
        << 0xFFFFFFFFu << 0xFFFF << QByteArray("FF FF FF FF 00 00 FF FF");
    QTest::newRow("21504, rhythm") << 21504u << 11 << QByteArray("00 00 54 00 00 00 00 0B");
}

void TestDataTree::sizeAndTypeAreStoredHighByteFirst() {
    QFETCH(uint, size);
    QFETCH(int, type);
    QFETCH(QByteArray, bytes16to23);
    EkData item(DataType::Tone);
    item.setSize(size);
    item.setType(std::uint16_t(type));
    QCOMPARE(show(item.header().bytes().data() + 16, 8), bytes16to23);
    QCOMPARE(item.size(), size);
    QCOMPARE(int(item.type()), type);
    item.setModelCode(0x1101);
    QCOMPARE(show(item.header().bytes().data() + 20, 2), QByteArray("11 01"));
}

void TestDataTree::kindFlagsTellTheClass() {
    EkData item(DataType::Tone);
    EkDataDrive drive(DataType::Tone);
    EkDataDirectory directory(DataType::Registration);
    EkDataFile file(DataType::NoType);
    QCOMPARE(int(item.kind()), 1);
    QCOMPARE(int(drive.kind()), 3);
    QCOMPARE(int(directory.kind()), 5);
    QCOMPARE(int(file.kind()), 9);
    QVERIFY(!directory.isFile() && directory.isDirectory() && (directory.kind() & 2) == 0);
    QVERIFY(EkDataDrive::from(&directory) != nullptr);
    QVERIFY(EkDataDrive::from(&file) == nullptr);
    QVERIFY(EkDataFile::from(&file) == &file);
    QVERIFY(EkDataFile::from(&drive) == nullptr);
    QVERIFY((file.kind() & 9) != 0 && (item.kind() & 9) != 0);
}

void TestDataTree::namesGoToTheirPlace_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("offset");  // in the data, or -1 for the header
    QTest::addColumn<QByteArray>("placed");

    QTest::newRow("tone, data 36")
        << int(DataType::Tone) << 36 << QByteArray("41 42 43 44 45 46 47 48");
    QTest::newRow("dsp, data 0") << int(DataType::DSP) << 0
                                 << QByteArray("41 42 43 44 45 46 47 48");
    QTest::newRow("song, data 4") << int(DataType::Song) << 4
                                  << QByteArray("41 42 43 44 45 46 47 48");
    QTest::newRow("rhythm, data 2")
        << int(DataType::Rhythm) << 2 << QByteArray("41 42 43 44 45 46 47 48");
    QTest::newRow("registration, header 24, pairs exchanged")
        << int(DataType::Registration) << -1 << QByteArray("42 41 44 43 46 45 48 47");
}

void TestDataTree::namesGoToTheirPlace() {
    QFETCH(int, type);
    QFETCH(int, offset);
    QFETCH(QByteArray, placed);
    EkDataFile item(static_cast<std::uint16_t>(type));
    item.words().assign(30, 0);
    item.storeName("ABCDEFGH");
    if (offset >= 0) {
        Bytes data;
        for (int i = 0; i < 8; ++i) {
            data.push_back(item.dataByte(std::size_t(offset + i)));
        }
        QCOMPARE(show(data.data(), 8), placed);
        // Nothing else of the data is touched.
        for (std::size_t i = 0; i < 60; ++i) {
            if (int(i) < offset || int(i) >= offset + 8) {
                QCOMPARE(int(item.dataByte(i)), 0);
            }
        }
    } else {
        QCOMPARE(show(item.header().bytes().data() + 24, 8), placed);
        QVERIFY(
            std::all_of(item.words().begin(), item.words().end(), [](auto w) { return w == 0; }));
    }
    item.setName("changed");
    item.loadName();
    QCOMPARE(item.name(), std::string("ABCDEFGH"));
}

void TestDataTree::dspNameExample() {
    EkDataFile item(DataType::DSP);
    item.words().assign(4, 0);
    item.storeName("ABC");
    QCOMPARE(item.words(), (Words{0x4142, 0x4320, 0x2020, 0x2020}));
    item.setName("");
    item.loadName();
    QCOMPARE(item.name(), std::string("ABC     "));
}

void TestDataTree::storeNameWithoutDataChangesOnlyTheName() {
    EkDataFile item(DataType::Tone);
    const auto header = item.header().bytes();
    item.storeName("Piano");
    QCOMPARE(item.name(), std::string("Piano"));
    QVERIFY(item.words().empty());
    QVERIFY(item.header().bytes() == header);

    // Data too short for the place (a tone's name ends at byte 44): also only the name.
    item.words().assign(20, 0x1111);
    item.storeName("Organ");
    QCOMPARE(item.name(), std::string("Organ"));
    QVERIFY(
        std::all_of(item.words().begin(), item.words().end(), [](auto w) { return w == 0x1111; }));
}

void TestDataTree::longNameKeepsItsFirstEightCharacters() {
    EkDataFile item(DataType::Song);
    item.words().assign(8, 0xFFFF);
    item.storeName("ABCDEFGHIJKL");
    QCOMPARE(item.name(), std::string("ABCDEFGH"));
    QCOMPARE(int(item.dataByte(12)), 0xFF);  // the byte after the place is untouched
    EkDataFile reg(DataType::Registration);
    reg.storeName("0123456789");
    QCOMPARE(show(reg.header().bytes().data() + 24, 10),
             QByteArray("31 30 33 32 35 34 37 36 00 00"));
}

void TestDataTree::loadNameOnShortDataKeepsTheName() {
    EkDataFile item(DataType::Song);
    item.words().assign(5, 0x4141);  // 10 bytes; the name needs bytes 4-11
    item.setName("Song 0");
    item.loadName();
    QCOMPARE(item.name(), std::string("Song 0"));
}

void TestDataTree::typeWithoutPlaceKeepsNameOnlyInTheObject() {
    EkDataFile item(DataType::Keyboard);
    item.words().assign(40, 0);
    const auto header = item.header().bytes();
    item.storeName("Root");
    QCOMPARE(item.name(), std::string("Root"));
    QVERIFY(item.header().bytes() == header);
    QVERIFY(std::all_of(item.words().begin(), item.words().end(), [](auto w) { return w == 0; }));
    item.loadName();
    QCOMPARE(item.name(), std::string("Root"));
}

void TestDataTree::adoptTakesTypeSizeAndName() {
    EkData songSlot(DataType::Song);
    songSlot.setSize(300);
    songSlot.setName("Song 1");
    EkDataFile fetched(DataType::NoType);
    fetched.words().assign(150, 0x2020);
    for (std::size_t i = 0; i < 8; ++i) {
        fetched.setDataByte(4 + i, std::uint8_t("Ballad 2"[i]));
    }
    fetched.adopt(songSlot);
    QCOMPARE(int(fetched.type()), int(DataType::Song));
    QCOMPARE(fetched.size(), 300u);
    QCOMPARE(fetched.name(), std::string("Ballad 2"));  // from the data, not the slot

    EkData regSlot(DataType::Registration);
    regSlot.setSize(176);
    regSlot.setName("Preset21");
    EkDataFile reg(DataType::NoType);
    reg.words().assign(88, 0);
    reg.adopt(regSlot);
    QCOMPARE(reg.name(), std::string("Preset21"));
    QCOMPARE(show(reg.header().bytes().data() + 24, 8), QByteArray("72 50 73 65 74 65 31 32"));
}

void TestDataTree::containersFreeEveryObjectOnce() {
    int destroyed = 0;
    {
        auto root = std::make_unique<EkDataDrive>(DataType::Keyboard);
        auto* area = root->append(std::make_unique<EkDataDrive>(DataType::Song));
        auto* folder = area->append(std::make_unique<EkDataDirectory>(DataType::Song));
        for (int i = 0; i < 3; ++i) {
            folder->append(std::make_unique<CountedItem>(destroyed));
        }
        area->append(std::make_unique<CountedItem>(destroyed));
        auto* file = root->append(std::make_unique<EkDataFile>(DataType::Tone));
        file->words().assign(1000, 7);
        QCOMPARE(root->childCount(), 2);
        QCOMPARE(folder->childCount(), 3);
        QCOMPARE(destroyed, 0);
    }
    QCOMPARE(destroyed, 4);
}

void TestDataTree::spaceAndSubdirectories() {
    EkDataDrive area(DataType::Tone);
    area.setCapacity(600);
    QCOMPARE(area.usedSpace(), 600);
    area.setFreeSpace(100);
    QCOMPARE(area.usedSpace(), 500);
    QVERIFY(!area.hasSubdirectory());
    area.append(std::make_unique<EkData>(DataType::Tone));
    area.append(std::make_unique<EkDataDrive>(DataType::Tone));
    QVERIFY(!area.hasSubdirectory());  // a drive is not a directory
    area.append(std::make_unique<EkDataDirectory>(DataType::Tone));
    QVERIFY(area.hasSubdirectory());
}

QTEST_GUILESS_MAIN(TestDataTree)
#include "tst_datatree.moc"
