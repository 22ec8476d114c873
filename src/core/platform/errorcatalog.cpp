#include "errorcatalog.h"

#include <array>
#include <atomic>
#include <utility>

namespace platform {
namespace {

struct Entry {
    ErrorCode code;
    const char* english;
    const char* japanese;
};

// %1, %2... are the arguments; a text that takes a reason has it as its last placeholder.
// An argument a language does not need is simply left out of its text. UTF-8 throughout.
constexpr Entry kEntries[] = {
    {ErrorCode::ServiceText, "%1", "%1"},
    {ErrorCode::MidiSystemFailure, "MIDI SYSTEM ERROR: %1", "MIDI SYSTEM ERROR: %1"},

    {ErrorCode::SettingMissing, "The setting %1 is missing or not a number.",
     "設定 %1 がないか、数値ではありません。"},
    {ErrorCode::SettingsNotWritten, "The settings could not be written to %1.",
     "設定を %1 に書き込めませんでした。"},
    {ErrorCode::SettingsFileUnusable,
     "The settings file \"%1\" cannot be used: %2. NvbMan neither reads nor writes it; the "
     "settings of this run are kept until the program ends. Remove or rename it to have your "
     "settings kept.",
     "設定ファイル \"%1\" は使えません: %2。NvbMan はこのファイルを読み書きしません。今回の設定は"
     "プログラムの終了まで保たれます。設定を保存するには、このファイルを削除するか名前を変えて下さい。"},
    {ErrorCode::NoLockFolder,
     "There is no private folder for NvbMan's locks: \"%1\" belongs to another user or is no "
     "folder. Remove it, or set XDG_RUNTIME_DIR to a folder of your own.",
     "NvbMan のロック用の個人フォルダがありません: \"%1\" は他のユーザーのものか、フォルダでは"
     "ありません。これを削除するか、XDG_RUNTIME_DIR に自分のフォルダを設定して下さい。"},
    {ErrorCode::NoLockFolderEither,
     "There is no private folder for NvbMan's locks: \"%1\" belongs to another user or is no "
     "folder, and \"%2\" cannot be used either. Remove it, or set XDG_RUNTIME_DIR to a folder "
     "of your own.",
     "NvbMan のロック用の個人フォルダがありません: \"%1\" は他のユーザーのものか、フォルダでは"
     "なく、\"%2\" も使えません。これを削除するか、XDG_RUNTIME_DIR に自分のフォルダを設定して"
     "下さい。"},

    {ErrorCode::BadDevice, "The specified device identifier is out of range.",
     "指定されたデバイス番号は範囲外です。"},
    {ErrorCode::DeviceNotAvailable, "The MIDI device \"%1\" is not available.",
     "MIDI デバイス \"%1\" は使用できません。"},
    {ErrorCode::DeviceChangedWhileOpened, "The MIDI device \"%1\" changed while it was opened.",
     "MIDI デバイス \"%1\" は開いている間に変わりました。"},
    {ErrorCode::DeviceGone, "The device is no longer available.", "デバイスはもう使用できません。"},
    {ErrorCode::DeviceNoLongerAvailable, "The MIDI device \"%1\" is no longer available.",
     "MIDI デバイス \"%1\" はもう使用できません。"},
    {ErrorCode::InputNotConnected,
     "The MIDI input device \"%1\" chosen in the preferences is not connected.%2",
     "環境設定で選んだ MIDI 入力デバイス \"%1\" が接続されていません。%2"},
    {ErrorCode::OutputNotConnected,
     "The MIDI output device \"%1\" chosen in the preferences is not connected.%2",
     "環境設定で選んだ MIDI 出力デバイス \"%1\" が接続されていません。%2"},
    {ErrorCode::WakePipe, "Cannot make the MIDI input's wake-up pipe: %1",
     "MIDI 入力の起動用パイプを作成できません: %1"},
    {ErrorCode::MessageTooLarge, "The message of %1 bytes does not fit the %2-byte port buffer.",
     "%1 バイトのメッセージは %2 バイトのポート・バッファに収まりません。"},
    {ErrorCode::JackNotAnswering,
     "The JACK server does not answer: another JACK program may be stopped or hung.",
     "JACK サーバーが応答しません: 他の JACK プログラムが停止しているか、固まっている可能性が"
     "あります。"},
    {ErrorCode::JackStopped, "The JACK server has stopped.", "JACK サーバーが停止しました。"},
    {ErrorCode::JackNoCycles, "The JACK server does not run its process cycles.",
     "JACK サーバーが処理サイクルを実行していません。"},
    {ErrorCode::JackRefusedClient, "The JACK server refused the client \"%1\".",
     "JACK サーバーがクライアント \"%1\" を拒否しました。"},
    {ErrorCode::JackPortNotRegistered, "The JACK server did not register the port \"%1\".",
     "JACK サーバーがポート \"%1\" を登録しませんでした。"},
    {ErrorCode::JackConnectionNotConfirmed,
     "The connection to the MIDI device \"%1\" was not confirmed by the JACK server.",
     "MIDI デバイス \"%1\" への接続が JACK サーバーで確認されませんでした。"},

    {ErrorCode::SequencerFull,
     "The ALSA sequencer takes no more programs (%1): close a MIDI program you do not need, "
     "then try again.",
     "ALSA シーケンサーはこれ以上プログラムを受け付けません (%1): 使っていない MIDI プログラムを"
     "閉じてから、もう一度試して下さい。"},

    {ErrorCode::KeyboardBusy,
     "The keyboard on \"%1\" is busy with another program. Try again when it has finished.",
     "\"%1\" のキーボードは他のプログラムが使用中です。終わってから、もう一度試して下さい。"},
    {ErrorCode::DriverBusy,
     "The keyboard is busy with another operation. Try again when it has finished.",
     "キーボードは他の操作の途中です。終わってから、もう一度試して下さい。"},
    {ErrorCode::NoSuchSlot, "The keyboard has no slot %1.",
     "キーボードにスロット %1 はありません。"},
    {ErrorCode::NoSuchSlotPath, "The keyboard has no slot \"%1\".",
     "キーボードにスロット \"%1\" はありません。"},
    {ErrorCode::SlotEmpty, "The slot %1 is empty: there is nothing to %2.",
     "スロット %1 は空です: %3するデータがありません。"},
    {ErrorCode::KeptDifferentData, "The keyboard holds different data than was sent.",
     "キーボードに送信したデータと異なるデータが記憶されています。"},
    {ErrorCode::ItemTooLarge,
     "The item of %1 bytes is larger than the keyboard can take (%2 bytes).",
     "%1 バイトのデータはキーボードが受け取れる大きさ (%2 バイト) を超えています。"},
    {ErrorCode::ItemShortNotSent,
     "The item announces %1 bytes but holds only %2. Nothing was sent.",
     "データは %1 バイトと記されていますが、%2 バイトしかありません。何も送信していません。"},
    {ErrorCode::SendNotConfirmed,
     "The keyboard did not take the item into %1 (sent %2 times): the slot holds \"%3\" "
     "(%4 bytes), not the item sent.",
     "キーボードが %1 にデータを記憶しませんでした (%2 回送信): スロットには送信したデータではなく "
     "\"%3\" (%4 バイト) が記憶されています。"},
    {ErrorCode::SendNotConfirmedEmpty,
     "The keyboard did not take the item into %1 (sent %2 times): the slot is empty.",
     "キーボードが %1 にデータを記憶しませんでした (%2 回送信): スロットは空です。"},
    {ErrorCode::DeleteNotConfirmed,
     "The keyboard did not delete the item in %1 (asked %2 times): the slot still holds "
     "\"%3\" (%4 bytes).",
     "キーボードが %1 のデータを削除しませんでした (%2 回要求): スロットにはまだ \"%3\" (%4 "
     "バイト) が記憶されています。"},

    {ErrorCode::ChangeUnconfirmed,
     "The item was sent to %1, but the keyboard did not answer whether it holds it (%2). Check "
     "the slot: Get/Update List in the window, or nvbman-cli list.",
     "%1 にデータを送信しましたが、キーボードが記憶したかどうかの問い合わせに応答しませんでした "
     "(%2)。スロットを確認して下さい: ウィンドウの「リストの取得/更新」、または nvbman-cli list。"},
    {ErrorCode::DeleteUnconfirmed,
     "The deletion of the item in %1 was sent, but the keyboard did not answer whether the slot "
     "is empty (%2). Check the slot: Get/Update List in the window, or nvbman-cli list.",
     "%1 のデータの削除を送信しましたが、スロットが空になったかどうかの問い合わせにキーボードが"
     "応答しませんでした (%2)。スロットを確認して下さい: ウィンドウの「リストの取得/更新」、または "
     "nvbman-cli list。"},

    {ErrorCode::CannotOpen, "Cannot open \"%1\": %2", "\"%1\" を開けません: %2"},
    {ErrorCode::CannotCreate, "Cannot create \"%1\": %2", "\"%1\" を作成できません: %2"},
    {ErrorCode::CannotRead, "Cannot read \"%1\": %2", "\"%1\" を読み込めません: %2"},
    {ErrorCode::CannotWrite, "Cannot write \"%1\": %2", "\"%1\" に書き込めません: %2"},
    {ErrorCode::CannotLock, "Cannot lock \"%1\": %2", "\"%1\" をロックできません: %2"},
    {ErrorCode::CannotKeepCopiesIn, "Cannot keep copies in \"%1\": %2",
     "\"%1\" にコピーを保管できません: %2"},
    {ErrorCode::CannotCreateFolderIn, "Cannot create a folder in \"%1\": %2",
     "\"%1\" にフォルダを作成できません: %2"},
    {ErrorCode::IsSymbolicLink, "it is a symbolic link", "シンボリック・リンクです"},
    {ErrorCode::NotRegularFile, "it is not a regular file", "通常のファイルではありません"},
    {ErrorCode::LargerThanItsKind, "it is larger (%1 bytes) than any file of its kind (%2 bytes)",
     "この種類のファイルの最大 (%2 バイト) より大きい (%1 バイト) です"},
    {ErrorCode::NotAFolder, "\"%1\" is not a folder.", "\"%1\" はフォルダではありません。"},
    {ErrorCode::NameNotInEncoding,
     "\"%1\": its name is not valid UTF-8, the system's encoding, so it cannot be opened; rename "
     "it to have it read.",
     "\"%1\": 名前がシステムの文字コード (UTF-8) として正しくないため開けません。読み込むには"
     "名前を変更してください。"},
    {ErrorCode::FileTooLargeForData,
     "\"%1\" is too large for a keyboard data file: %2 bytes, while an item holds at most %3 "
     "bytes of data.",
     "\"%1\" はキーボードのデータ・ファイルとしては大きすぎます: %2 バイトですが、データは最大 "
     "%3 バイトです。"},
    {ErrorCode::OddSizeNotWritten,
     "Cannot write \"%1\": the item announces %2 bytes of data, but keyboard data are whole "
     "16-bit words. Nothing was written.",
     "\"%1\" に書き込めません: データは %2 バイトと記されていますが、キーボードのデータは "
     "16 ビット単位です。何も書き込んでいません。"},
    {ErrorCode::ShortNotWritten,
     "Cannot write \"%1\": the item announces %2 bytes of data but holds only %3. Nothing was "
     "written.",
     "\"%1\" に書き込めません: データは %2 バイトと記されていますが、%3 バイトしかありません。"
     "何も書き込んでいません。"},

    {ErrorCode::ManifestUnusable, "The backup manifest in \"%1\" cannot be used: %2",
     "\"%1\" のバックアップの目録は使用できません: %2"},
    {ErrorCode::NotOurManifest, "it is not a manifest of this program.",
     "このプログラムの目録ではありません。"},
    {ErrorCode::ManifestHasNoItems, "it has no list of items.", "データの一覧がありません。"},
    {ErrorCode::ManifestTooManyItems, "it lists %1 items, more than the keyboard has slots (%2).",
     "%1 個のデータが記されていて、キーボードのスロット数 (%2) より多すぎます。"},
    {ErrorCode::ManifestNotASlot, "\"%1\" is not a slot.", "\"%1\" はスロットではありません。"},
    {ErrorCode::ManifestSlotTwice, "it names the slot %1 more than once.",
     "スロット %1 が二度以上記されています。"},
    {ErrorCode::ManifestForeignFile, "\"%1\" is not a file of this folder.",
     "\"%1\" はこのフォルダのファイルではありません。"},
    {ErrorCode::ManifestNoFingerprint, "the entry of \"%1\" has no SHA-256.",
     "\"%1\" の項目に SHA-256 がありません。"},
    {ErrorCode::SentWithoutCheck,
     "sent without a check: the manifest (of the first format) holds no SHA-256 of \"%1\".",
     "確認せずに送信しました: 目録 (最初の形式) に \"%1\" の SHA-256 がありません。"},
    {ErrorCode::ChangedSinceBackup,
     "\"%1\" has changed since the backup was made (its SHA-256 is not the manifest's); it was "
     "not sent.",
     "\"%1\" はバックアップの後に変更されています (SHA-256 が目録と違います)。送信していません。"},
    {ErrorCode::BackupExists,
     "\"%1\" holds a backup already. Choose an empty folder, or ask for that backup to be "
     "replaced.",
     "\"%1\" にはすでにバックアップがあります。空のフォルダを選ぶか、そのバックアップを置き換える"
     "よう指定して下さい。"},
    {ErrorCode::BackupUnderWay, "Another backup into \"%1\" is under way.",
     "\"%1\" への別のバックアップが実行中です。"},
    {ErrorCode::MoveAsideFailed, "\"%1\" could not be moved aside to make room for the backup.",
     "バックアップの場所を空けるために \"%1\" を移動できませんでした。"},
    {ErrorCode::MoveIntoFailed, "The backup could not be moved into \"%1\" (\"%2\" failed).",
     "バックアップを \"%1\" に移動できませんでした (\"%2\" が失敗しました)。"},
    {ErrorCode::NothingKept, "%2 Nothing of the backup was kept in \"%1\".",
     "%2 \"%1\" にはバックアップを何も残していません。"},
    {ErrorCode::StoppedAfterItems, "The keyboard stopped answering after %1 of %2 items (%3).",
     "%2 個のうち %1 個のデータの後でキーボードが応答しなくなりました (%3)。"},
    {ErrorCode::NoItemSaved, "No item could be saved (%1).",
     "データを一つも保存できませんでした (%1)。"},
    {ErrorCode::BackupNotReplaced,
     "%1 of %2 items could not be saved, so the backup already there was not replaced.",
     "%2 個のうち %1 個のデータを保存できなかったので、既存のバックアップは置き換えていません。"},
    {ErrorCode::RestoreDoesNotFit,
     "The restore does not fit: the songs and rhythms would take %1 bytes of the keyboard's %2. "
     "Nothing was changed. Delete a song or rhythm on the keyboard that the backup does not "
     "have, or restore exactly.",
     "復元が収まりません: ソングとリズムに %1 バイトが必要ですが、キーボードのメモリは %2 バイトです。"
     "何も変更していません。バックアップにないソングかリズムをキーボードで削除するか、完全に"
     "復元して下さい。"},

    {ErrorCode::KeptListUnreadable, "The list of kept copies \"%1\" cannot be read: %2",
     "保管したコピーの一覧 \"%1\" を読み込めません: %2"},
    {ErrorCode::KeptListHeld, "The list of kept copies in \"%1\" is held by another program.",
     "\"%1\" の保管したコピーの一覧は他のプログラムが使用中です。"},
    {ErrorCode::NotOurKeptList, "it is not a list of this program.",
     "このプログラムの一覧ではありません。"},
    {ErrorCode::KeptEntryNoSlot, "an entry names no slot or no file of its own.",
     "スロットかファイルのない項目があります。"},
    {ErrorCode::KeptEntryNoNumber, "an entry has no number of its own.",
     "番号のない項目があります。"},
    {ErrorCode::KeptCopyChanged,
     "The kept copy \"%1\" was changed since it was kept; it is not sent.",
     "保管したコピー \"%1\" は保管した後に変更されています。送信しません。"},
    {ErrorCode::KeptCopyGone,
     "The kept copy %1 of what %2 held is gone (see: Replaced Items); nothing was changed.",
     "%2 にあったデータの保管したコピー %1 がありません (置き換えたデータを参照)。何も変更して"
     "いません。"},
    {ErrorCode::HistoryUnreadable, "The history of changes \"%1\" cannot be read: %2",
     "変更の履歴 \"%1\" を読み込めません: %2"},
    {ErrorCode::HistoryHeld, "The history of changes in \"%1\" is held by another program.",
     "\"%1\" の変更の履歴は他のプログラムが使用中です。"},
    {ErrorCode::NotOurHistory, "it is not a history of this program.",
     "このプログラムの履歴ではありません。"},
    {ErrorCode::HistoryChangeNoSlot, "a change names no slot or no kept copy.",
     "スロットか保管したコピーのない変更があります。"},
    {ErrorCode::HistoryChangeIncomplete, "a change has no number, no action or no slot.",
     "番号、操作またはスロットのない変更があります。"},
    {ErrorCode::NothingKeptOfStep,
     "\"%1\" kept no copy of what %2 held, so it cannot be taken back; nothing was changed.",
     "\"%1\" は %2 にあったデータのコピーを保管していないため、元に戻せません。何も変更して"
     "いません。"},

    {ErrorCode::SameSlot, "%1 and %2 are the same slot.", "%1 と %2 は同じスロットです。"},
    {ErrorCode::DifferentKinds,
     "%1 and %2 hold different kinds of item; only slots of one kind can exchange items.",
     "%1 と %2 はデータの種類が違います。同じ種類のスロットの間でのみデータを交換できます。"},
    {ErrorCode::CannotBeEmptied,
     "A %1 cannot be moved: its slot cannot be left empty. Copy it, or swap the two slots.",
     "%2 のデータは移動できません: このスロットは空にできません。コピーするか、二つのスロットを"
     "入れ替えて下さい。"},
    {ErrorCode::NameUnusable,
     "\"%1\" cannot be a name on the keyboard: 1 to %2 letters, digits, spaces or signs (no "
     "accents).",
     "\"%1\" はキーボードの名前にできません: 1 から %2 文字の英字、数字、空白または記号 (アクセ"
     "ントなし) にして下さい。"},
    {ErrorCode::NameNotInData, "The name of %1 is not kept in its data; it cannot be changed here.",
     "%1 の名前はデータに含まれていないので、ここでは変更できません。"},
    {ErrorCode::ChangedSinceChange,
     "%1 changed since \"%2\" (by another program or on the keyboard's panel); nothing was "
     "changed.",
     "%1 は \"%2\" の後に (他のプログラムかキーボードのパネルで) 変更されています。何も変更して"
     "いません。"},
    {ErrorCode::DumpHasNoItems, "\"%1\" holds no whole item of an MLS-850.",
     "\"%1\" には MLS-850 のデータが一つも完全な形で入っていません。"},
    {ErrorCode::DumpSeveralItems,
     "\"%1\" holds %2 items: convert it into .nvb files (nvbman-cli convert) and send the one "
     "you want.",
     "\"%1\" には %2 個のデータが入っています。.nvb ファイルに変換して (nvbman-cli convert) "
     "送りたいものを送信して下さい。"},
    {ErrorCode::DumpItemUnusable, "The item of %1 in the dump cannot be used: %2",
     "ダンプ内の %1 のデータは使えません: %2"},
    {ErrorCode::DumpBadChecksum, "block %1 has a wrong checksum.",
     "ブロック %1 のチェックサムが正しくありません。"},
    {ErrorCode::DumpMissingBlock, "block %1 is missing (block %2 came in its place).",
     "ブロック %1 がありません (代わりにブロック %2 が来ました)。"},
    {ErrorCode::DumpUnknownAddress, "its address (area %1, address %2) is no slot of an MLS-850.",
     "アドレス (エリア %1、アドレス %2) は MLS-850 のスロットではありません。"},
    {ErrorCode::DumpCutShort, "the dump ends before its last block.",
     "最後のブロックの前でダンプが終わっています。"},
    {ErrorCode::DumpStoppedByStatus, "the transfer was stopped (status %1) after block %2.",
     "ブロック %2 の後で転送が中止されました (ステータス %1)。"},
    {ErrorCode::DumpWrongSize, "it holds %1 bytes, which no item of its kind has.",
     "%1 バイトあり、この種類のデータの大きさではありません。"},
    {ErrorCode::DumpMixedItems, "blocks of %1 came in the middle of it.",
     "途中に %1 のブロックが入っています。"},
    {ErrorCode::TagEmpty, "A tag cannot be empty.", "空のタグは付けられません。"},
    {ErrorCode::TagTooLong, "The tag \"%1\" is longer than %2 characters.",
     "タグ \"%1\" が %2 文字を超えています。"},
    {ErrorCode::TagHasControl,
     "The tag or note \"%1\" holds control characters (a tab, a line break...).",
     "タグまたはメモ \"%1\" に制御文字 (タブ、改行など) が含まれています。"},
    {ErrorCode::TagsUnreadable,
     "The tags and notes in \"%1\" cannot be read (%2); nothing was changed in them.",
     "\"%1\" のタグとメモを読み込めません (%2)。タグとメモは何も変更していません。"},
    {ErrorCode::TagsOfNewerProgram,
     "The tags and notes in \"%1\" were written by a newer NvbMan; nothing was changed in them.",
     "\"%1\" のタグとメモは新しいバージョンの NvbMan で書かれています。何も変更していません。"},
    {ErrorCode::TagFileUnusable, "\"%1\" is no file of NvbMan's tags: %2",
     "\"%1\" は NvbMan のタグのファイルではありません: %2"},
    {ErrorCode::VersionsUnreadable,
     "The keyboard's past in \"%1\" cannot be read (%2); nothing was changed in it.",
     "\"%1\" のキーボードの履歴を読み込めません (%2)。何も変更していません。"},
    {ErrorCode::VersionsOfNewerProgram,
     "The keyboard's past in \"%1\" was written by a newer NvbMan; nothing was changed in it.",
     "\"%1\" のキーボードの履歴は新しいバージョンの NvbMan で書かれています。何も変更していません。"},
    {ErrorCode::VersionItemMissing, "The item of version %1 (%2) is missing: \"%3\".",
     "バージョン %1 (%2) のデータがありません: \"%3\""},
    {ErrorCode::VersionItemDamaged,
     "The item of version %1 (%2) has changed since it was kept: \"%3\".",
     "バージョン %1 (%2) のデータは保存後に変更されています: \"%3\""},
    {ErrorCode::VersionTimeUnusable,
     "\"%1\" is neither a date (2026-06-01, 2026-06-01T19:30) nor a backup folder.",
     "\"%1\" は日付 (2026-06-01、2026-06-01T19:30) でもバックアップのフォルダーでもありません。"},
    {ErrorCode::NoVersionsThen, "NvbMan knows nothing this keyboard held at %1.",
     "%1 の時点でこのキーボードが持っていたデータは記録されていません。"},
};

// The actions a SlotEmpty text names, in the words a Japanese text uses for them (its %3).
constexpr std::pair<const char*, const char*> kJapaneseActions[] = {
    {"import", "受信"}, {"send", "送信"},     {"delete", "削除"},       {"copy", "コピー"},
    {"move", "移動"},   {"swap", "入れ替え"}, {"rename", "名前を変更"},
};

const Entry* entryOf(ErrorCode code) {
    for (const Entry& entry : kEntries) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

// Fills %1..%9 in one pass: an argument never has its own "%n" filled in turn, and a text may
// leave an argument out (QString::arg would warn of it).
QString fill(const QString& pattern, const QStringList& args) {
    QString out;
    out.reserve(pattern.size());
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'%' && i + 1 < pattern.size() && pattern.at(i + 1) >= u'1' &&
            pattern.at(i + 1) <= u'9') {
            const qsizetype index = pattern.at(i + 1).unicode() - u'1';
            out += index < args.size() ? args.at(index) : QString();
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::atomic<OuterTexts> outerTexts{nullptr};

}  // namespace

CodedText CodedText::because(CodedText cause) const {
    CodedText text = *this;
    text.reason = std::make_shared<const CodedText>(std::move(cause));
    return text;
}

void setOuterTexts(OuterTexts texts) {
    outerTexts.store(texts);
}

QString errorText(const CodedText& text, bool japanese) {
    const Entry* entry = entryOf(text.code);
    if (entry == nullptr) {
        const OuterTexts outer = outerTexts.load();
        const QString said = outer != nullptr ? outer(text, japanese) : QString();
        return said.isEmpty() ? text.args.join(' ') : said;
    }
    QStringList args = text.args;
    if (text.reason) {
        args << errorText(*text.reason, japanese);
    }
    if (japanese && text.code == ErrorCode::SlotEmpty && args.size() >= 2) {
        QString action = args.at(1);
        for (const auto& [english, word] : kJapaneseActions) {
            if (action == QLatin1String(english)) {
                action = QString::fromUtf8(word);
            }
        }
        args << action;
    }
    return fill(QString::fromUtf8(japanese ? entry->japanese : entry->english), args);
}

}  // namespace platform
