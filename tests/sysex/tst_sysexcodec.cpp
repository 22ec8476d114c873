// The keyboard's frame as built by the encoder and taken apart by the decoder, checked against
// hand-written bytes so that a fault cannot hide by being made twice, once on each side.

#include <QRandomGenerator>
#include <QtTest>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "sysex/ekexception.h"
#include "sysex/eksysexdecoder.h"
#include "sysex/eksysexencoder.h"
#include "sysex/sysexdescription.h"

using Bytes = std::vector<std::uint8_t>;
using Words = std::vector<std::uint16_t>;
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(Words)

namespace {

Bytes hex(const char* text) {
    Bytes out;
    for (const QByteArray& part : QByteArray(text).split(' ')) {
        if (!part.isEmpty()) {
            out.push_back(static_cast<std::uint8_t>(part.toUInt(nullptr, 16)));
        }
    }
    return out;
}

QByteArray show(const Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))
        .toHex(' ')
        .toUpper();
}

void prepare(EkSysExEncoder& encoder) {
    encoder.setModelCode(0x1101);
    encoder.setDeviceNumber(0x7F);
}

Bytes encodeParam(std::uint8_t type, std::uint8_t area, int address, std::uint8_t command,
                  std::uint8_t bits, std::uint8_t parameter, std::uint32_t value) {
    EkSysExEncoder encoder;
    AreaAddress where{area, 0, address, nullptr};
    ParamAddress param{command, bits, 1, {parameter, 0, 0, 0}, value};
    encoder.setAreaAddress(&where);
    encoder.setParamAddress(&param);
    prepare(encoder);
    encoder.setType(type);
    Bytes out;
    encoder.encode(out);
    return out;
}

Bytes encodeBlock(EkSysExEncoder& encoder, AreaAddress& where, std::uint16_t block, int bytes) {
    encoder.setAreaAddress(&where);
    encoder.setType(SysExType::DataBlock);
    encoder.setBlockNumber(block);
    encoder.setDataSize(static_cast<std::uint8_t>(bytes));
    Bytes out;
    encoder.encode(out);
    return out;
}

// A well-formed block frame around `words`, checksum included.
Bytes blockFrame(const Words& words) {
    EkSysExEncoder encoder;
    prepare(encoder);
    Words copy = words;
    AreaAddress where{10, 0, 1, &copy};
    return encodeBlock(encoder, where, 0, static_cast<int>(2 * words.size()));
}

}  // namespace

class TestSysExCodec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void describesEveryMessageKind_data();
    void describesEveryMessageKind();
    void encodesParameterMessages_data();
    void encodesParameterMessages();
    void encodesDataBlocks_data();
    void encodesDataBlocks();
    void statusCarriesTheAreaOfTheTransfer();
    void dataRequestAfterBlockIsTwelveBytes();
    void consecutiveBlocksDifferOnlyInNumberWordsAndChecksum();
    void blockPastTheWordsIsOutOfRange();
    void unknownTypeIsRefusedWhenEncoding();
    void overlongParameterBytesCannotBreakTheFrame();

    void decodesParameterData_data();
    void decodesParameterData();
    void decodesBlocks_data();
    void decodesBlocks();
    void decodesStatus();
    void decodeErrors_data();
    void decodeErrors();
    void decodingOverwritesTheAreaRecord();
    void neverReadsPastTheFrame();
};

void TestSysExCodec::encodesParameterMessages_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("bits");
    QTest::addColumn<uint>("value");
    QTest::addColumn<Bytes>("expected");

    QTest::newRow("request, 32-bit")
        << 1 << 0 << 0 << 0x22 << 32 << 0u << hex("F0 44 11 01 7F 10 22 1F 00 00 00 F7");
    QTest::newRow("data 1000, five groups")
        << 0 << 0 << 0 << 0x22 << 32 << 1000u
        << hex("F0 44 11 01 7F 00 22 1F 00 00 00 68 07 00 00 00 F7");
    QTest::newRow("width 7, one group")
        << 0 << 0 << 0 << 1 << 7 << 0x7Fu << hex("F0 44 11 01 7F 00 01 06 00 00 00 7F F7");
    QTest::newRow("width 8, two groups")
        << 0 << 0 << 0 << 1 << 8 << 0xFFu << hex("F0 44 11 01 7F 00 01 07 00 00 00 7F 01 F7");
    QTest::newRow("width 32, fifth group holds bits 28-31")
        << 0 << 0 << 0 << 1 << 32 << 0xF0000000u
        << hex("F0 44 11 01 7F 00 01 1F 00 00 00 00 00 00 00 0F F7");
    QTest::newRow("address 200, tone area")
        << 1 << 2 << 200 << 96 << 32 << 0u << hex("F0 44 11 01 7F 12 60 1F 48 01 00 F7");
    QTest::newRow("address keeps 14 bits only")
        << 1 << 9 << (1 << 14) + 5 << 48 << 32 << 0u << hex("F0 44 11 01 7F 19 30 1F 05 00 00 F7");
}

void TestSysExCodec::encodesParameterMessages() {
    QFETCH(int, type);
    QFETCH(int, area);
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(int, bits);
    QFETCH(uint, value);
    QFETCH(Bytes, expected);
    const Bytes out = encodeParam(std::uint8_t(type), std::uint8_t(area), address,
                                  std::uint8_t(command), std::uint8_t(bits), 0, value);
    QCOMPARE(show(out), show(expected));
}

void TestSysExCodec::encodesDataBlocks_data() {
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("block");
    QTest::addColumn<Words>("words");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<Bytes>("expected");

    QTest::newRow("worked example") << 2 << 5 << 0 << Words{0x1234} << 2
                                    << hex("F0 44 11 01 7F 42 00 4F 05 00 00 00 01 34 24 00 28 F7");
    QTest::newRow("word FFFF") << 2 << 5 << 0 << Words{0xFFFF} << 2
                               << hex("F0 44 11 01 7F 42 00 4F 05 00 00 00 01 7F 7F 03 7F F7");
    QTest::newRow("sum already a multiple of 128, checksum 00")
        << 2 << 5 << 0 << Words{0x0040, 0x0040} << 4
        << hex("F0 44 11 01 7F 42 00 4F 05 00 00 00 02 40 00 00 40 00 00 00 F7");
    Words many(131 * 64, 0);
    many[130 * 64] = 0x0001;
    QTest::newRow("block 130 takes words from 130*64")
        << 10 << 1 << 130 << many << 2
        << hex("F0 44 11 01 7F 4A 00 4F 01 00 02 01 01 01 00 00 7F F7");
}

void TestSysExCodec::encodesDataBlocks() {
    QFETCH(int, area);
    QFETCH(int, address);
    QFETCH(int, block);
    QFETCH(Words, words);
    QFETCH(int, bytes);
    QFETCH(Bytes, expected);
    EkSysExEncoder encoder;
    prepare(encoder);
    AreaAddress where{std::uint8_t(area), 0, address, &words};
    QCOMPARE(show(encodeBlock(encoder, where, std::uint16_t(block), bytes)), show(expected));
}

void TestSysExCodec::statusCarriesTheAreaOfTheTransfer() {
    EkSysExEncoder encoder;
    prepare(encoder);
    AreaAddress where{2, 0, 5, nullptr};
    encoder.setAreaAddress(&where);
    encoder.setType(SysExType::Status);
    encoder.setStatus(TransferStatus::Ack);
    Bytes out;
    encoder.encode(out);
    QCOMPARE(show(out), show(hex("F0 44 11 01 7F 72 00 00 05 00 01 F7")));
}

void TestSysExCodec::dataRequestAfterBlockIsTwelveBytes() {
    EkSysExEncoder encoder;
    prepare(encoder);
    Words words(64, 0x1111);
    AreaAddress where{11, 0, 101, &words};
    QCOMPARE(encodeBlock(encoder, where, 0, 128).size(), std::size_t(207));
    encoder.setType(SysExType::DataRequest);
    Bytes out;
    encoder.encode(out);
    QCOMPARE(show(out), show(hex("F0 44 11 01 7F 5B 00 00 65 00 00 F7")));
}

void TestSysExCodec::consecutiveBlocksDifferOnlyInNumberWordsAndChecksum() {
    EkSysExEncoder encoder;
    prepare(encoder);
    Words words(128);
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<std::uint16_t>(i * 517);
    }
    AreaAddress where{10, 0, 0, &words};
    const Bytes first = encodeBlock(encoder, where, 0, 128);
    const Bytes second = encodeBlock(encoder, where, 1, 128);
    QCOMPARE(first.size(), second.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        const bool mayDiffer = i == 10 || i == 11 || (i >= 13 && i < first.size() - 1);
        if (!mayDiffer) {
            QVERIFY2(first[i] == second[i], qPrintable(QString("byte %1 differs").arg(i)));
        }
    }
    QVERIFY(first[10] != second[10]);
}

void TestSysExCodec::blockPastTheWordsIsOutOfRange() {
    EkSysExEncoder encoder;
    prepare(encoder);
    Words words(100, 0);
    AreaAddress where{10, 0, 0, &words};
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, encodeBlock(encoder, where, 1, 128));
}

void TestSysExCodec::unknownTypeIsRefusedWhenEncoding() {
    for (std::uint8_t type : {2, 3, 6, 8, 15}) {
        EkSysExEncoder encoder;
        AreaAddress where;
        encoder.setAreaAddress(&where);
        encoder.setType(type);
        Bytes out;
        try {
            encoder.encode(out);
            QFAIL("type accepted");
        } catch (const EkSysExException& e) {
            QCOMPARE(e.code(), 4);
        }
        QVERIFY(out.empty());
    }
}

void TestSysExCodec::overlongParameterBytesCannotBreakTheFrame() {
    const Bytes out = encodeParam(SysExType::ParamRequest, 0, 0, 0x80 | 35, 32, 0xF7, 0);
    for (std::size_t i = 1; i + 1 < out.size(); ++i) {
        QVERIFY2(out[i] < 0x80, qPrintable(show(out)));
    }
}

void TestSysExCodec::decodesParameterData_data() {
    QTest::addColumn<Bytes>("frame");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<uint>("value");

    QTest::newRow("value 1000") << hex("F0 44 11 01 7F 00 22 1F 00 00 00 68 07 00 00 00 F7") << 0x22
                                << 32 << 1 << 0 << 1000u;
    QTest::newRow("name letters, MSB first")
        << hex("F0 44 11 01 7F 00 27 1F 00 00 01 4F 06 41 0A 04 F7") << 39 << 32 << 1 << 1
        << 0x4150434Fu;
    QTest::newRow("top bits of the fifth group")
        << hex("F0 44 11 01 7F 00 01 1F 00 00 00 7F 7F 7F 7F 0F F7") << 1 << 32 << 1 << 0
        << 0xFFFFFFFFu;
    QTest::newRow("14-bit kind") << hex("F0 44 11 01 7F 00 00 0D 00 00 00 05 01 F7") << 0 << 14 << 1
                                 << 0 << 133u;
    QTest::newRow("two parameter bytes")
        << hex("F0 44 11 01 7F 00 05 26 00 00 03 04 09 F7") << 5 << 7 << 2 << 3 << 9u;
}

void TestSysExCodec::decodesParameterData() {
    QFETCH(Bytes, frame);
    QFETCH(int, command);
    QFETCH(int, bits);
    QFETCH(int, count);
    QFETCH(int, parameter);
    QFETCH(uint, value);
    EkSysExDecoder decoder;
    AreaAddress where;
    ParamAddress param;
    decoder.setAreaAddress(&where);
    decoder.setParamAddress(&param);
    decoder.decode(frame);
    QCOMPARE(decoder.type(), SysExType::ParamData);
    QCOMPARE(int(param.command), command);
    QCOMPARE(int(param.bits), bits);
    QCOMPARE(int(param.count), count);
    QCOMPARE(int(param.parameters[0]), parameter);
    QCOMPARE(decoder.value(), value);
}

void TestSysExCodec::decodesBlocks_data() {
    QTest::addColumn<Bytes>("frame");
    QTest::addColumn<Words>("words");

    QTest::newRow("worked example")
        << hex("F0 44 11 01 7F 42 00 4F 05 00 00 00 01 34 24 00 28 F7") << Words{0x1234};
    QTest::newRow("no word bytes, checksum 00")
        << hex("F0 44 11 01 7F 42 00 4F 05 00 00 00 00 00 F7") << Words{};
    Words full(64);
    for (std::size_t i = 0; i < full.size(); ++i) {
        full[i] = static_cast<std::uint16_t>(0xFFFF - i * 1021);
    }
    QTest::newRow("64 words") << blockFrame(full) << full;
    // The word count byte is not what decides: the bytes present are.
    QTest::newRow("word count byte disagrees")
        << hex("F0 44 11 01 7F 42 00 4F 05 00 00 00 05 34 24 00 28 F7") << Words{0x1234};
}

void TestSysExCodec::decodesBlocks() {
    QFETCH(Bytes, frame);
    QFETCH(Words, words);
    EkSysExDecoder decoder;
    AreaAddress where;
    decoder.setAreaAddress(&where);
    decoder.decode(frame);
    QCOMPARE(decoder.type(), SysExType::DataBlock);
    QCOMPARE(decoder.words(), words);
}

void TestSysExCodec::decodesStatus() {
    EkSysExDecoder decoder;
    AreaAddress where;
    decoder.setAreaAddress(&where);
    decoder.decode(hex("F0 44 11 01 7F 7A 00 00 01 00 02 F7"));
    QCOMPARE(decoder.type(), SysExType::Status);
    QCOMPARE(decoder.status(), TransferStatus::Rejected);
    QCOMPARE(int(where.area), 10);
}

void TestSysExCodec::decodeErrors_data() {
    QTest::addColumn<Bytes>("frame");
    QTest::addColumn<int>("code");

    QTest::newRow("type 1 (request)") << hex("F0 44 11 01 7F 10 22 1F 00 00 00 F7") << 4;
    QTest::newRow("type 5 (data request)") << hex("F0 44 11 01 7F 52 00 00 00 00 00 F7") << 4;
    QTest::newRow("type 15") << hex("F0 44 11 01 7F F0 00 00 00 00 00 F7") << 4;
    QTest::newRow("bad checksum") << hex("F0 44 11 01 7F 42 00 4F 05 00 00 00 01 34 24 00 29 F7")
                                  << 5;
    QTest::newRow("empty block, checksum not 00")
        << hex("F0 44 11 01 7F 42 00 4F 05 00 00 00 00 01 F7") << 5;
    QTest::newRow("empty frame") << Bytes{} << 3;
    QTest::newRow("under ten bytes") << hex("F0 44 11 01 7F 00 22 1F F7") << 3;
    QTest::newRow("param without its parameter byte") << hex("F0 44 11 01 7F 00 22 1F 00 00") << 3;
    QTest::newRow("param without all value groups")
        << hex("F0 44 11 01 7F 00 22 1F 00 00 00 68 07 F7") << 3;
    QTest::newRow("four parameter bytes announced, one present")
        << hex("F0 44 11 01 7F 00 22 60 00 00 00 01 F7") << 3;
    QTest::newRow("status without status byte") << hex("F0 44 11 01 7F 70 00 00 00 00 F7") << 3;
    QTest::newRow("block shorter than its header")
        << hex("F0 44 11 01 7F 42 00 4F 05 00 00 F7") << 3;
    QTest::newRow("block cut inside a word")
        << hex("F0 44 11 01 7F 42 00 4F 05 00 00 00 01 34 24 28 F7") << 3;
}

void TestSysExCodec::decodeErrors() {
    QFETCH(Bytes, frame);
    QFETCH(int, code);
    EkSysExDecoder decoder;
    AreaAddress where;
    ParamAddress param;
    decoder.setAreaAddress(&where);
    decoder.setParamAddress(&param);
    try {
        decoder.decode(frame);
        QFAIL("decoded without error");
    } catch (const EkSysExException& e) {
        QCOMPARE(e.code(), code);
    }
}

void TestSysExCodec::decodingOverwritesTheAreaRecord() {
    EkSysExDecoder decoder;
    AreaAddress where{2, 60, 384, nullptr};
    ParamAddress param{96, 32, 1, {0, 0, 0, 0}, 0};
    decoder.setAreaAddress(&where);
    decoder.setParamAddress(&param);
    decoder.decode(hex("F0 44 11 01 7F 09 31 1F 7F 7F 00 00 00 00 00 00 F7"));
    QCOMPARE(int(where.area), 9);
    QCOMPARE(where.address, 0x3FFF);
    QCOMPARE(int(param.command), 49);
    QCOMPARE(where.size, 60);
}

// Every prefix of valid frames, and random bytes between F0 44 and F7, either decode or raise
// EkSysExException; the sanitizer build turns any read past the frame into a failure.
void TestSysExCodec::neverReadsPastTheFrame() {
    std::vector<Bytes> valid = {
        hex("F0 44 11 01 7F 00 22 1F 00 00 00 68 07 00 00 00 F7"),
        hex("F0 44 11 01 7F 00 22 7F 00 00 01 02 03 68 07 00 00 00 F7"),
        hex("F0 44 11 01 7F 72 00 00 05 00 01 F7"),
        blockFrame(Words(64, 0xABCD)),
    };
    auto check = [](const Bytes& frame) {
        EkSysExDecoder decoder;
        AreaAddress where;
        ParamAddress param;
        decoder.setAreaAddress(&where);
        decoder.setParamAddress(&param);
        try {
            decoder.decode(frame);
        } catch (const EkSysExException& e) {
            QVERIFY(e.code() >= 3 && e.code() <= 5);
        }
        QVERIFY(decoder.words().size() <= frame.size() / 3);
    };
    for (const Bytes& frame : valid) {
        for (std::size_t n = 0; n <= frame.size(); ++n) {
            Bytes cut(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
            check(cut);
            if (n >= 2) {
                cut.back() = 0xF7;
                check(cut);
            }
        }
    }
    QRandomGenerator random(850);
    for (int round = 0; round < 20000; ++round) {
        Bytes frame(random.bounded(0, 260));
        for (auto& b : frame) {
            b = static_cast<std::uint8_t>(random.bounded(256));
        }
        if (frame.size() >= 3) {
            frame.front() = 0xF0;
            frame[1] = 0x44;
            frame.back() = 0xF7;
        }
        check(frame);
    }
}

void TestSysExCodec::describesEveryMessageKind_data() {
    QTest::addColumn<QByteArray>("bytes");  // hexadecimal
    QTest::addColumn<QString>("line");
    QTest::newRow("request") << QByteArray("F0 44 11 01 7F 12 60 1F 00 03 00 F7")
                             << "ParamRequest area 2 addr 384 cmd 96 param 0";
    QTest::newRow("value") << QByteArray("F0 44 11 01 7F 02 60 1F 00 03 00 76 58 15 33 05 F7")
                           << "ParamData area 2 addr 384 cmd 96 param 0 value 1449487478";
    QTest::newRow("value cut short") << QByteArray("F0 44 11 01 7F 02 60 1F 00 03 00 76 F7")
                                     << "ParamData area 2 addr 384 cmd 96 param 0, cut short";
    QTest::newRow("data request") << QByteArray("F0 44 11 01 7F 5A 00 00 01 00 00 F7")
                                  << "DataRequest area 10 addr 1";
    QTest::newRow("block") << QByteArray("F0 44 11 01 7F 42 00 4F 00 03 03 00 01 02 02 00 7C F7")
                           << "DataBlock 3, 2 bytes";
    QTest::newRow("block with a bad checksum")
        << QByteArray("F0 44 11 01 7F 42 00 4F 00 03 03 00 01 02 02 00 00 F7")
        << "DataBlock 3, 2 bytes, bad checksum";
    QTest::newRow("ack") << QByteArray("F0 44 11 01 7F 72 00 00 00 03 01 F7")
                         << "Status Ack area 2 addr 384";
    QTest::newRow("end") << QByteArray("F0 44 11 01 7F 7A 00 00 00 00 00 F7")
                         << "Status End area 10 addr 0";
    QTest::newRow("rejected") << QByteArray("F0 44 11 01 7F 72 00 00 00 03 02 F7")
                              << "Status Rejected area 2 addr 384";
    QTest::newRow("unknown status") << QByteArray("F0 44 11 01 7F 72 00 00 00 03 09 F7")
                                    << "Status unknown (9) area 2 addr 384";
    QTest::newRow("active sensing") << QByteArray("FE") << "Active Sensing";
    QTest::newRow("clock") << QByteArray("F8") << "Clock";
    QTest::newRow("another maker") << QByteArray("F0 43 10 4C 00 00 7E 00 F7")
                                   << "another maker's SysEx (43)";
    QTest::newRow("the keyboard's, cut short") << QByteArray("F0 44 11 01 F7")
                                               << "the keyboard's SysEx, cut short";
}

void TestSysExCodec::describesEveryMessageKind() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, line);
    const Bytes message = hex(bytes.constData());
    QCOMPARE(QString::fromStdString(sysex::describeMessage(message)), line);
    QCOMPARE(QString::fromStdString(sysex::hexBytes(message)), QString::fromLatin1(bytes));
}

QTEST_GUILESS_MAIN(TestSysExCodec)
#include "tst_sysexcodec.moc"
