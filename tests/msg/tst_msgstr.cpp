// Every text of the message table, in both languages, against the table as the program must
// show it.

#include <QtTest>

#include <QMetaEnum>
#include <QRegularExpression>

#include "msg/errortext.h"
#include "msg/msgstr.h"
#include "platform/systemerror.h"

class TestMsgStr : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyText_data();
    void everyText();
    void outsideAGroupIsEmpty();
    void localeChoosesTheLanguage_data();
    void localeChoosesTheLanguage();
    void everyCodedFailureIsSaidInBothLanguages();
    void theWindowSaysACodedFailureInItsLanguage();
};

void TestMsgStr::everyText_data() {
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("japanese");
    QTest::addColumn<QString>("english");
    struct Row {
        const char* group;
        int index;
        const char* japanese;
        const char* english;
    };
    const Row rows[] = {
        {"sysex", 0, "通信を拒否されました", "rejected by keyboard"},
        {"sysex", 1, "通信エラーが発生しました", "communication error occured"},
        {"sysex", 2, "未知のエラーです", "Unknown error"},
        {"sysex", 3, "データがありません", "no datas"},
        {"sysex", 4, "メッセージのフォーマットが不正です", "invalid System Exclusive message "},
        {"sysex", 5, "チェックサム・エラー", "invaild checksum"},
        {"sysex", 6, "MIDI通信タイムアウトエラー", "MIDI Timeout"},
        {"kbddrv", 0, "このキーボードとは通信できません", "Unknown keyboard type"},
        {"stream", 0, "このファイルはNVBファイルではありません", "No NVB file"},
        {"stream", 1, "異なるタイプのデータは転送できません", "Data type is different"},
        {"stream", 2, "空き領域が足りません", "Not enough memory"},
        {"operate", 0, "送信元のデータが指定されていません", "Not select a source data"},
        {"operate", 1, "送信先のデータが指定されていません", "Not select a distination data"},
        {"operate", 2, "受信元のデータが指定されていません", "Not select a source data"},
        {"operate", 3, "受信先のデータが指定されていません", "Not select a distination data"},
        {"operate", 4, "削除するデータが選択されていません", "Not select a data"},
        {"operate", 5, "ここには転送できません", "Not acceptable"},
        {"operate", 6, "まず一覧を取得して下さい", "Get list first!!"},
        {"status", 0, "一覧の取得中...", "Get list..."},
        {"status", 1, "データを送信中...", "Sending a data..."},
        {"status", 2, "データを受信中...", "Receiving a data..."},
        {"status", 3, "データを削除中...", "Deleting a data..."},
        {"folder", 0, "ファイル フォルダ\xEF\xBE\x9E", "Folder"},  // ends in U+FF9E
    };
    for (const Row& row : rows) {
        QTest::addRow("%s %d", row.group, row.index)
            << row.group << row.index << QString::fromUtf8(row.japanese) << row.english;
    }
}

namespace {

QString textOf(const MsgStr& table, const QString& group, int index) {
    if (group == "sysex")
        return table.sysExErrorText(index);
    if (group == "kbddrv")
        return table.kbdDrvErrorText(index);
    if (group == "stream")
        return table.streamErrorText(index);
    if (group == "operate")
        return table.operateErrorText(index);
    if (group == "status")
        return table.statusText(index);
    return table.folderText(index);
}

}  // namespace

void TestMsgStr::everyText() {
    QFETCH(QString, group);
    QFETCH(int, index);
    QFETCH(QString, japanese);
    QFETCH(QString, english);
    QCOMPARE(textOf(MsgStr(1041), group, index), japanese);
    QCOMPARE(textOf(MsgStr(1033), group, index), english);
}

void TestMsgStr::outsideAGroupIsEmpty() {
    const MsgStr table(1033);
    QVERIFY(table.sysExErrorText(7).isEmpty());
    QVERIFY(table.sysExErrorText(-1).isEmpty());
    QVERIFY(table.kbdDrvErrorText(1).isEmpty());
    QVERIFY(table.streamErrorText(3).isEmpty());
    QVERIFY(table.operateErrorText(9).isEmpty());
    QVERIFY(table.statusText(4).isEmpty());
    QVERIFY(MsgStr(1041).folderText(1).isEmpty());
}

void TestMsgStr::localeChoosesTheLanguage_data() {
    QTest::addColumn<int>("locale");
    QTest::addColumn<bool>("japanese");
    QTest::newRow("1041") << 1041 << true;
    QTest::newRow("1033") << 1033 << false;
    QTest::newRow("2057") << 2057 << false;
    QTest::newRow("0") << 0 << false;
}

void TestMsgStr::localeChoosesTheLanguage() {
    QFETCH(int, locale);
    QFETCH(bool, japanese);
    const MsgStr table(locale);
    QCOMPARE(table.isJapanese(), japanese);
    QCOMPARE(table.operateErrorText(6), japanese ? QString::fromUtf8("まず一覧を取得して下さい")
                                                 : QString("Get list first!!"));
}

// Each code has its own text in each language; a Japanese text is Japanese (no English word
// outside the names it quotes) and says every argument the English one says, so nothing the
// user needs (a slot, a path, a number) is lost in translation.
void TestMsgStr::everyCodedFailureIsSaidInBothLanguages() {
    using platform::ErrorCode;
    const QMetaEnum codes = QMetaEnum::fromType<ErrorCode>();
    const QStringList args{"ARG1", "ARG2", "ARG3"};
    static const QRegularExpression englishWord("[A-Za-z]{3,}");
    static const QRegularExpression placeholder("%[1-9]");
    // Names and words that stay as they are in Japanese texts.
    const QStringList kept{"MIDI SYSTEM ERROR",
                           "NvbMan",
                           "XDG_RUNTIME_DIR",
                           "MIDI",
                           "JACK",
                           "ALSA",
                           "SHA-256",
                           "MLS-850",
                           "nvbman-cli convert",
                           "nvbman-cli undo",
                           "nvbman-cli list",
                           ".nvb",
                           "NVB",
                           "ARG1",
                           "ARG2",
                           "ARG3",
                           "UTF-8"};
    QSet<QString> englishTexts;
    for (int i = 0; i < codes.keyCount(); ++i) {
        const auto code = ErrorCode(codes.value(i));
        if (code == ErrorCode::ServiceText) {
            continue;
        }
        const platform::CodedText text{code, args};
        const QString english = platform::errorText(text, false);
        QString japanese = platform::errorText(text, true);
        const char* key = codes.key(i);
        QVERIFY2(!english.isEmpty() && !japanese.isEmpty(), key);
        QVERIFY2(!englishTexts.contains(english), key);
        englishTexts.insert(english);
        QVERIFY2(!english.contains(placeholder) && !japanese.contains(placeholder), key);
        for (const QString& arg : args) {
            // A Japanese sentence names the slot instead of the English kind word.
            const bool englishOnly = (code == ErrorCode::CannotBeEmptied && arg == "ARG1") ||
                                     (code == ErrorCode::SlotEmpty && arg == "ARG2");
            if (english.contains(arg) && !englishOnly) {
                QVERIFY2(japanese.contains(arg), qPrintable(QString("%1 drops %2").arg(key, arg)));
            }
        }
        for (const QString& name : kept) {
            japanese.remove(name);
        }
        QVERIFY2(!japanese.contains(englishWord), qPrintable(QString(key) + ": " + japanese));
    }
}

void TestMsgStr::theWindowSaysACodedFailureInItsLanguage() {
    const auto said = [](const MsgStr& messages, const auto& failure) {
        try {
            throw failure;
        } catch (...) {
            return currentErrorText(messages);
        }
    };
    const platform::SystemError noSlot(platform::ErrorCode::NoSuchSlot, {"song:9"});
    QCOMPARE(said(MsgStr(1033), noSlot), QString("The keyboard has no slot song:9."));
    QCOMPARE(said(MsgStr(1033), noSlot), QString::fromStdString(noSlot.what()));
    QCOMPARE(said(MsgStr(1041), noSlot),
             QString::fromUtf8("キーボードにスロット song:9 はありません。"));
    // A MIDI service failure keeps its fixed prefix in both languages; a file error says its
    // coded reason in the same language.
    const platform::MidiSystemError gone(platform::ErrorCode::DeviceNoLongerAvailable, {"X"});
    QCOMPARE(QString::fromStdString(gone.what()),
             QString("MIDI SYSTEM ERROR: The MIDI device \"X\" is no longer available."));
    QCOMPARE(said(MsgStr(1041), gone),
             QString::fromUtf8("MIDI SYSTEM ERROR: MIDI デバイス \"X\" はもう使用できません。"));
    const platform::FileError link(platform::ErrorCode::CannotOpen, "/a/b.nvb",
                                   platform::CodedText{platform::ErrorCode::IsSymbolicLink});
    QCOMPARE(QString::fromStdString(link.what()),
             QString("Cannot open \"/a/b.nvb\": it is a symbolic link"));
    QCOMPARE(said(MsgStr(1041), link),
             QString::fromUtf8("\"/a/b.nvb\" を開けません: シンボリック・リンクです"));
    // A service's own words are passed on as they are.
    QCOMPARE(said(MsgStr(1041), platform::SystemError("ALSA: no such card")),
             QString("ALSA: no such card"));
}

QTEST_GUILESS_MAIN(TestMsgStr)
#include "tst_msgstr.moc"
