// Every text of the message table, in both languages, against the table as the program must
// show it.

#include <QtTest>

#include "msg/msgstr.h"

class TestMsgStr : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyText_data();
    void everyText();
    void outsideAGroupIsEmpty();
    void localeChoosesTheLanguage_data();
    void localeChoosesTheLanguage();
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

QTEST_GUILESS_MAIN(TestMsgStr)
#include "tst_msgstr.moc"
