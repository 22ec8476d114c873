// ".nvb" files: the bytes written, what reading gives back, and bad input that must end in a
// clear error with nothing lost.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "data/ekdatafile.h"
#include "platform/systemerror.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbstreamexception.h"
#include "support/codedfailure.h"
#include "support/expectcode.h"

using Words = std::vector<std::uint16_t>;

namespace {

QByteArray magicHeader(std::uint32_t size = 0, std::uint16_t type = DataType::Song) {
    QByteArray header("VELTA Music Lib");
    header.append('\0');
    header.append(char(size >> 24))
        .append(char(size >> 16))
        .append(char(size >> 8))
        .append(char(size));
    header.append(char(0x11)).append(char(0x01)).append(char(type >> 8)).append(char(type));
    header.append(QByteArray(40, '\0'));
    return header;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestNvbFileStream : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }
    void writesHeaderThenWordsHighByteFirst();
    void roundTripKeepsHeaderWordsAndName_data();
    void roundTripKeepsHeaderWordsAndName();
    void dataLengthComesFromTheFile_data();
    void dataLengthComesFromTheFile();
    void oddLengthKeepsByteOrder();
    void sizeIsTheFileLessItsHeader();
    void notAnNvbFile_data();
    void notAnNvbFile();
    void missingFileGivesTheSystemReason();
    void hugeFileIsRefusedBeforeReading();
    void createReplacesAnyExistingFile();
    void failedWriteLeavesTheOldFileAndNoNewOne_data();
    void failedWriteLeavesTheOldFileAndNoNewOne();
    void uncommittedCreateLeavesNothing();
    void unwritableTargetIsAFileError();
    void aNewFileIsNeverOneThatExistsNorLeftHalfWritten();

private:
    QString path(const char* name) const { return dir_->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestNvbFileStream::writesHeaderThenWordsHighByteFirst() {
    EkDataFile item(DataType::Song);
    item.setSize(6);
    item.words() = {0x0102, 0x0304, 0xA0B0, 0xFFFF};  // one word more than the size counts
    {
        NvbFileStream stream(path("six.nvb"), NvbFileStream::Create);
        stream.write(item);
        QCOMPARE(stream.position(), 70);
    }
    const QByteArray bytes = readFile(path("six.nvb"));
    QCOMPARE(bytes.size(), 70);
    QCOMPARE(bytes.left(64),
             QByteArray(reinterpret_cast<const char*>(item.header().bytes().data()), 64));
    QCOMPARE(bytes.mid(64).toHex(' '), QByteArray("01 02 03 04 a0 b0"));
}

void TestNvbFileStream::roundTripKeepsHeaderWordsAndName_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("name");
    QTest::newRow("tone") << int(DataType::Tone) << 60 << "Strings ";
    QTest::newRow("dsp") << int(DataType::DSP) << 36 << "Hall    ";
    QTest::newRow("registration") << int(DataType::Registration) << 176 << "Preset12";
    QTest::newRow("song") << int(DataType::Song) << 21504 << "Ballad  ";
    QTest::newRow("rhythm") << int(DataType::Rhythm) << 300 << "Bossa 2 ";
    QTest::newRow("empty song") << int(DataType::Song) << 0 << "";
}

void TestNvbFileStream::roundTripKeepsHeaderWordsAndName() {
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(QString, name);
    EkDataFile original(static_cast<std::uint16_t>(type));
    original.setModelCode(0x1101);
    original.setSize(std::uint32_t(size));
    original.words().resize(std::size_t(size / 2));
    for (std::size_t i = 0; i < original.words().size(); ++i) {
        original.words()[i] = static_cast<std::uint16_t>(i * 2654435761u >> 7);
    }
    original.storeName(name.toStdString());
    const QString file = path("item.nvb");
    NvbFileStream(file, NvbFileStream::Create).write(original);

    EkDataFile copy(DataType::NoType);
    NvbFileStream reader(file, NvbFileStream::OpenRead);
    QCOMPARE(reader.size(), size);
    reader.read(copy);
    QVERIFY(copy.header().bytes() == original.header().bytes());
    QCOMPARE(copy.words(), original.words());
    if (size > 0) {
        QCOMPARE(QString::fromStdString(copy.name()), name);
    }
    QCOMPARE(reader.position(), 64 + size);
}

void TestNvbFileStream::dataLengthComesFromTheFile_data() {
    QTest::addColumn<int>("headerSize");
    QTest::addColumn<int>("dataBytes");
    QTest::newRow("header only") << 0 << 0;
    QTest::newRow("header says more") << 1000 << 8;
    QTest::newRow("header says less") << 2 << 8;
}

void TestNvbFileStream::dataLengthComesFromTheFile() {
    QFETCH(int, headerSize);
    QFETCH(int, dataBytes);
    QByteArray bytes = magicHeader(std::uint32_t(headerSize));
    for (int i = 0; i < dataBytes; ++i) {
        bytes.append(char(i + 1));
    }
    writeFile(path("len.nvb"), bytes);
    EkDataFile item(DataType::NoType);
    NvbFileStream(path("len.nvb"), NvbFileStream::OpenRead).read(item);
    QCOMPARE(item.words().size(), std::size_t(dataBytes / 2));
    QCOMPARE(int(item.size()), headerSize);
    if (dataBytes > 0) {
        QCOMPARE(item.words().front(), std::uint16_t(0x0102));
    }
}

void TestNvbFileStream::oddLengthKeepsByteOrder() {
    writeFile(path("odd.nvb"), magicHeader(4) + QByteArray::fromHex("0102 03"));
    EkDataFile item(DataType::NoType);
    NvbFileStream(path("odd.nvb"), NvbFileStream::OpenRead).read(item);
    QCOMPARE(item.words(), (Words{0x0102, 0x0300}));
}

void TestNvbFileStream::sizeIsTheFileLessItsHeader() {
    writeFile(path("k.nvb"), magicHeader(1024) + QByteArray(1024, 'x'));
    QCOMPARE(NvbFileStream(path("k.nvb"), NvbFileStream::OpenRead).size(), 1024);
}

void TestNvbFileStream::notAnNvbFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("shorter than a header") << magicHeader().left(63);
    QByteArray longer = magicHeader();
    longer[15] = 'X';
    QTest::newRow("signature runs on past offset 15") << longer;
    QByteArray other = magicHeader();
    other[0] = 'v';
    QTest::newRow("wrong signature") << other;
    QTest::newRow("a text file")
        << QByteArray("just some words, not a keyboard item at all.\n").repeated(3);
}

void TestNvbFileStream::notAnNvbFile() {
    QFETCH(QByteArray, content);
    writeFile(path("bad.nvb"), content);
    for (auto mode : {NvbFileStream::OpenRead, NvbFileStream::OpenReadWrite}) {
        try {
            NvbFileStream stream(path("bad.nvb"), mode);
            QFAIL("accepted");
        } catch (const NvbStreamException& e) {
            QCOMPARE(e.code(), 0);
        }
    }
    QCOMPARE(readFile(path("bad.nvb")), content);
}

void TestNvbFileStream::missingFileGivesTheSystemReason() {
    try {
        NvbFileStream stream(path("nowhere.nvb"), NvbFileStream::OpenRead);
        QFAIL("opened");
    } catch (const platform::FileError& e) {
        const QString message = e.what();
        QVERIFY2(message.contains("nowhere.nvb") && message.contains("No such file"),
                 qPrintable(message));
    }
    QVERIFY_THROWS_EXCEPTION(platform::FileError,
                             NvbFileStream(dir_->path(), NvbFileStream::OpenRead));
}

void TestNvbFileStream::hugeFileIsRefusedBeforeReading() {
    {
        QFile file(path("huge.nvb"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(magicHeader());
        QVERIFY(file.resize(64 + NvbFileStream::kMaxDataSize + 1));  // sparse: nothing written
    }
    const auto refused =
        codedFailure([&] { NvbFileStream stream(path("huge.nvb"), NvbFileStream::OpenRead); });
    QVERIFY(refused);
    QCOMPARE(refused->code, platform::ErrorCode::FileTooLargeForData);
    // The file's whole length: its 64-byte header and one byte more than any item's data.
    QCOMPARE(refused->args.value(1), QString::number(64 + NvbFileStream::kMaxDataSize + 1));
    // A file as large that is no keyboard data file at all says what it is not.
    {
        QFile text(path("huge.txt"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(QByteArray(64, 'x'));
        QVERIFY(text.resize(3 * 1024 * 1024));
    }
    QCOMPARE(expectCode([&] { NvbFileStream(path("huge.txt"), NvbFileStream::OpenRead); }),
             int(NvbStreamException::NotNvbFile));
    // The largest item the keyboard can address is still accepted.
    QVERIFY(QFile::resize(path("huge.nvb"), 64 + NvbFileStream::kMaxDataSize));
    QCOMPARE(NvbFileStream(path("huge.nvb"), NvbFileStream::OpenRead).size(),
             int(NvbFileStream::kMaxDataSize));
}

void TestNvbFileStream::createReplacesAnyExistingFile() {
    writeFile(path("old.nvb"), QByteArray("not an nvb file, but it will be replaced"));
    EkDataFile item(DataType::DSP);
    item.setSize(2);
    item.words() = {0xBEEF};
    NvbFileStream(path("old.nvb"), NvbFileStream::Create).write(item);
    QCOMPARE(readFile(path("old.nvb")).size(), 66);
    QCOMPARE(readFile(path("old.nvb")).right(2).toHex(), QByteArray("beef"));
}

void TestNvbFileStream::failedWriteLeavesTheOldFileAndNoNewOne_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("words");
    QTest::addColumn<platform::ErrorCode>("refusal");
    QTest::newRow("announces more than it holds")
        << 400 << 10 << platform::ErrorCode::ShortNotWritten;
    QTest::newRow("odd size") << 61 << 31 << platform::ErrorCode::OddSizeNotWritten;
}

void TestNvbFileStream::failedWriteLeavesTheOldFileAndNoNewOne() {
    QFETCH(int, size);
    QFETCH(int, words);
    QFETCH(platform::ErrorCode, refusal);
    const QByteArray before = magicHeader(2) + QByteArray::fromHex("1234");
    writeFile(path("keep.nvb"), before);
    EkDataFile item(DataType::Song);
    item.setSize(std::uint32_t(size));
    item.words().assign(std::size_t(words), 1);
    {
        NvbFileStream stream(path("keep.nvb"), NvbFileStream::Create);
        const auto refused = codedFailure([&] { stream.write(item); });
        QVERIFY2(refused, "written");
        QCOMPARE(refused->code, refusal);
    }
    QCOMPARE(readFile(path("keep.nvb")), before);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"keep.nvb"});
}

void TestNvbFileStream::uncommittedCreateLeavesNothing() {
    { NvbFileStream stream(path("never.nvb"), NvbFileStream::Create); }
    QVERIFY(!QFile::exists(path("never.nvb")));
    QVERIFY(QDir(dir_->path()).entryList(QDir::Files).isEmpty());
}

void TestNvbFileStream::unwritableTargetIsAFileError() {
    try {
        NvbFileStream stream(path("no/such/folder/x.nvb"), NvbFileStream::Create);
        QFAIL("created");
    } catch (const platform::FileError& e) {
        QVERIFY2(QString(e.what()).contains("x.nvb"), e.what());
    }
}

void TestNvbFileStream::aNewFileIsNeverOneThatExistsNorLeftHalfWritten() {
    const QByteArray before = magicHeader(2) + QByteArray::fromHex("1234");
    writeFile(path("keep.nvb"), before);
    QVERIFY(QFile::link(path("elsewhere.nvb"), path("link.nvb")));  // leads nowhere yet
    for (const char* taken : {"keep.nvb", "link.nvb"}) {
        QVERIFY_THROWS_EXCEPTION(platform::FileError,
                                 NvbFileStream(path(taken), NvbFileStream::CreateNew));
    }
    QCOMPARE(readFile(path("keep.nvb")), before);
    QVERIFY(!QFile::exists(path("elsewhere.nvb")));

    EkDataFile item(DataType::Tone);
    item.setSize(60);
    item.words().assign(10, 1);  // announces more than it holds
    {
        NvbFileStream stream(path("short.nvb"), NvbFileStream::CreateNew);
        QVERIFY_THROWS_EXCEPTION(platform::SystemError, stream.write(item));
    }
    { NvbFileStream unwritten(path("unwritten.nvb"), NvbFileStream::CreateNew); }
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::System),
             (QStringList{"keep.nvb", "link.nvb"}));

    // Written whole: the same bytes as a replacing create writes.
    item.words().assign(30, 0x4142);
    NvbFileStream(path("new.nvb"), NvbFileStream::CreateNew).write(item);
    NvbFileStream(path("replacing.nvb"), NvbFileStream::Create).write(item);
    QCOMPARE(readFile(path("new.nvb")), readFile(path("replacing.nvb")));
}

QTEST_GUILESS_MAIN(TestNvbFileStream)
#include "tst_nvbfilestream.moc"
