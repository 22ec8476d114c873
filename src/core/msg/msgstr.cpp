#include "msgstr.h"

#include <algorithm>
#include <array>

#include "platform/userlocale.h"

namespace {

// The texts are kept in UTF-8. Their spelling is the program's own and is kept as it is.

constexpr std::array kSysExJa = {
    "通信を拒否されました",       "通信エラーが発生しました",           "未知のエラーです",
    "データがありません",         "メッセージのフォーマットが不正です", "チェックサム・エラー",
    "MIDI通信タイムアウトエラー",
};
constexpr std::array kSysExEn = {
    "rejected by keyboard",
    "communication error occured",
    "Unknown error",
    "no datas",
    "invalid System Exclusive message ",  // the trailing space is part of the text
    "invaild checksum",
    "MIDI Timeout",
};

constexpr std::array kKbdDrvJa = {"このキーボードとは通信できません"};
constexpr std::array kKbdDrvEn = {"Unknown keyboard type"};

constexpr std::array kStreamJa = {
    "このファイルはNVBファイルではありません",
    "異なるタイプのデータは転送できません",
    "空き領域が足りません",
};
constexpr std::array kStreamEn = {
    "No NVB file",
    "Data type is different",
    "Not enough memory",
};

constexpr std::array kOperateJa = {
    "送信元のデータが指定されていません",
    "送信先のデータが指定されていません",
    "受信元のデータが指定されていません",
    "受信先のデータが指定されていません",
    "削除するデータが選択されていません",
    "ここには転送できません",
    "まず一覧を取得して下さい",
    "選択したスロットから後ろにファイルが収まりません",
    "送信先のフォルダと種類が違うファイルがあります",
};
constexpr std::array kOperateEn = {
    "Not select a source data",
    "Not select a distination data",
    "Not select a source data",
    "Not select a distination data",
    "Not select a data",
    "Not acceptable",
    "Get list first!!",
    "The files do not fit into the folder from the selected slot on",
    "A file's type does not match the folder it would go into",
};

constexpr std::array kStatusJa = {
    "一覧の取得中...",
    "データを送信中...",
    "データを受信中...",
    "データを削除中...",
};
constexpr std::array kStatusEn = {
    "Get list...",
    "Sending a data...",
    "Receiving a data...",
    "Deleting a data...",
};

// The full-width katakana end with a half-width voiced-sound mark (U+FF9E) after the final
// character.
constexpr std::array kFolderJa = {"ファイル フォルダ\uFF9E"};
constexpr std::array kFolderEn = {"Folder"};

// The status after the user stopped a command; the second text follows it when a stopped send
// had already deleted the slot's old song.
constexpr std::array kCancelJa = {"キャンセルしました",
                                  "キャンセルしました（ソングの領域は空になっています）"};
constexpr std::array kCancelEn = {"Cancelled", "Cancelled (the song slot is now empty)"};

// The items of a whole-keyboard job that needed a second try (%1 their slots).
constexpr std::array kRetriedJa = {"再試行したデータ: %1"};
constexpr std::array kRetriedEn = {"needed a second try: %1"};

// Added to the status text when a request's answer was lost and it was asked again.
// What was done again: a request whose answer was lost, a change the keyboard did not show.
constexpr std::array kRetryNoteJa = {"(応答がなかったため再要求しました)",
                                     "(キーボードに変更が反映されていなかったため再実行しました)"};
constexpr std::array kRetryNoteEn = {"(an answer was lost; asked again)",
                                     "(the keyboard did not show the change; made again)"};

// A comparison of the keyboard with a backup: the verdict of a slot (in Verdict's order), the
// summary when all are identical, the heading of the slots that are not (%1 of %2 slots).
constexpr std::array kCompareJa = {
    "同じ",
    "異なる",
    "キーボードにない",
    "フォルダにない",
    "比較できない",
    "キーボードのデータはバックアップと同じです (%1 件)",
    "%2 件中 %1 件のデータがバックアップと異なります:",
};
constexpr std::array kCompareEn = {
    "identical",
    "different",
    "missing on the keyboard",
    "missing in the folder",
    "not compared",
    "The keyboard holds the same data as the backup (%1 items).",
    "%1 of %2 slots differ from the backup:",
};

// What a restore will do with a slot that stands so against the backup (by verdict), and the
// plan's summary (%1 replaced, %2 filled, %3 the same already).
constexpr std::array kPlanJa = {
    "同じデータのため送りません",
    "置き換えます（今のデータは先に保存します）",
    "空いているので書き込みます",
    "そのままです（バックアップにデータがありません）",
    "比較できませんでした（戻すときにもう一度比べます）",
    "置き換え: %1 件、書き込み: %2 件、同じデータのため送らない: %3 件",
};
constexpr std::array kPlanEn = {
    "the same already: not sent",
    "replaced (what it holds is kept first)",
    "empty: filled",
    "stays as it is (the backup has no item for it)",
    "not compared (compared again when restoring)",
    "To replace: %1, to fill: %2, the same already (not sent): %3.",
};
constexpr std::int32_t kPlanSummary = 5;

// After a failed send emptied a song slot whose old song was kept.
constexpr std::array kPutBackJa = {"古いソングを元に戻しますか？"};
constexpr std::array kPutBackEn = {"Put the old song back now?"};

// An item a whole-keyboard job did not try, after the keyboard stopped answering.
constexpr std::array kJobStoppedJa = {"キーボードが応答しなくなったため、実行しませんでした"};
constexpr std::array kJobStoppedEn = {"Not tried: the keyboard stopped answering."};

// Before a backup into a folder that holds one already (%1 the folder).
constexpr std::array kReplaceBackupJa = {
    "「%1」には既にバックアップがあります。新しいバックアップで置き換えますか？\n"
    "古いバックアップは、新しいバックアップが完成してから削除されます。"};
constexpr std::array kReplaceBackupEn = {
    "\"%1\" holds a backup already. Replace it with a new backup?\n"
    "The old backup is removed only once the new one is complete."};

// Follows the failure of a send that had already deleted the slot's old song.
constexpr std::array kSlotEmptiedJa = {
    "ソングの領域は空になっています（古いソングは送信の前に削除されました）"};
constexpr std::array kSlotEmptiedEn = {
    "The song slot is now empty: its old song was deleted before the new one was sent."};

// The whole-keyboard backup and restore: the question before a restore (%1 items, %2 the
// folder), the summary after a job (%1 items), the heading of the items that failed.
// Entries of the job tables past the first five: the restore question when copies are kept,
// the restore's detail, and the question after a restore that stopped.
constexpr std::int32_t kRestoreKeepingQuestion = 5;
constexpr std::int32_t kRestoreDetail = 6;
constexpr std::int32_t kStoppedRestoreQuestion = 7;
constexpr std::array kJobJa = {
    "「%2」のバックアップの %1 件のデータをキーボードの元の場所に戻しますか？\n"
    "その場所に今あるデータは置き換えられます。",
    "%1 件のデータを保存しました",
    "%1 件のデータを戻しました",
    "次のデータは保存できませんでした:",
    "次のデータは戻せませんでした:",
    "「%2」のバックアップの %1 件のデータをキーボードの元の場所に戻しますか？\n"
    "同じデータが既にある場所はそのままです。ほかの場所に今あるデータは、置き換える前に"
    "コピーを保存します（置き換えたデータ）。",
    "同じデータのため送らなかった場所: %1 件、置き換える前に保存したデータ: %2 件",
    "戻す処理が止まる前に置き換えた %1 件のデータは保存してあります。\n"
    "今すぐ元に戻しますか（復元を取り消します）？",
};
// Several items of the window's selection in one command: done, and the failures' heading, for
// Import, Send and Delete.
constexpr std::array kBatchJa = {
    "%1 件のデータを受信しました",       "%1 件のデータを送信しました",
    "%1 件のデータを削除しました",       "次のデータは受信できませんでした:",
    "次のデータは送信できませんでした:", "次のデータは削除できませんでした:",
};
constexpr std::array kBatchEn = {
    "%1 items imported",          "%1 items sent",
    "%1 items deleted",           "These items were not imported:",
    "These items were not sent:", "These items were not deleted:",
};

constexpr std::array kReplaceFileJa = {"「%1」は既にあります。置き換えますか？"};
constexpr std::array kReplaceFileEn = {"\"%1\" exists already. Replace it?"};

constexpr std::array kJobEn = {
    "Send the %1 items of the backup in \"%2\" back into the keyboard's slots they came "
    "from?\nWhat those slots hold now is replaced.",
    "%1 items saved",
    "%1 items restored",
    "These items were not saved:",
    "These items were not restored:",
    "Send the %1 items of the backup in \"%2\" back into the keyboard's slots they came "
    "from?\nSlots that hold the same item already are left as they are; what the others hold "
    "now is kept as a copy before it is replaced (Replaced Items).",
    "the same already, not sent: %1; kept before being replaced: %2",
    "The %1 items that the restore replaced before it stopped are kept.\n"
    "Put them back now (Undo of the restore)?",
};

// A change of the history as Edit > Undo names it, by the action the history keeps (in this
// order); %1 and %2 are its subjects: slots, a name or a folder.
constexpr std::array kChangeActions = {"send", "delete", "put-back", "copy",
                                       "move", "swap",   "rename",   "restore"};
constexpr std::array kChangeJa = {
    "%1 へ送信",
    "%1 を削除",
    "%1 へ戻す",
    "%1 を %2 へコピー",
    "%1 を %2 へ移動",
    "%1 と %2 の入れ替え",
    "%1 の名前を「%2」に変更",
    "「%1」からの復元",
};
constexpr std::array kChangeEn = {
    "Send to %1",    "Delete %1",       "Put Back into %1",    "Copy %1 to %2",
    "Move %1 to %2", "Swap %1 with %2", "Rename %1 to \"%2\"", "Restore from \"%1\"",
};

// Edit menu's Undo and Redo (%1 the change), the questions of the edits and of an undo over a
// slot changed since, and the refusals when there is nothing to take back.
constexpr std::array kEditJa = {
    "元に戻す(&U): %1",
    "やり直し(&R): %1",
    "元に戻す(&U)",
    "やり直し(&R)",
    "%1 をどのスロットにコピーしますか？",
    "%1 をどのスロットに移動しますか？",
    "%1 とどのスロットを入れ替えますか？",
    "%1 の新しい名前（1～8 文字の半角英数字と記号）:",
    "%1 は「%2」の後で変更されています（別のプログラムか、キーボードのパネルで）。\n\n"
    "それでも元に戻しますか？スロットの今のデータは先に保存します。",
    "元に戻す操作はありません。",
    "やり直す操作はありません。",
};
constexpr std::array kEditEn = {
    "&Undo %1",
    "&Redo %1",
    "&Undo",
    "&Redo",
    "Copy %1 into which slot?",
    "Move %1 into which slot?",
    "Swap %1 with which slot?",
    "New name for %1 (1 to 8 letters, digits, spaces or signs):",
    "%1 changed since \"%2\" (by another program or on the keyboard's panel).\n\n"
    "Take it back all the same? What the slot holds now is kept first.",
    "There is nothing to undo.",
    "There is nothing to redo.",
};
constexpr std::int32_t kEditUndo = 0;
constexpr std::int32_t kEditPlainUndo = 2;
constexpr std::int32_t kEditCopyPrompt = 4;
constexpr std::int32_t kEditRenamePrompt = 7;
constexpr std::int32_t kEditChangedSince = 8;
constexpr std::int32_t kEditNothing = 9;

// Where an item that a failed or stopped command replaced is kept: one copy (%1 its name, %2 its
// number, %3 its file), the copies of a change (%1 the list), and one entry of that list.
constexpr std::array kKeptJa = {
    "元のデータ「%1」はコピー %2（\"%3\"）として保管しました。元に戻すには: ファイル > "
    "置き換えたデータ...、または nvbman-cli put-back %2。",
    "置き換えたデータは保管しました: %1。元に戻すには: 編集 > 元に戻す、または nvbman-cli undo"
    "（各コピーはファイル > 置き換えたデータ... にもあります）。",
    "コピー %1（%2「%3」）",
    "変更「%1」は途中で終わりました（その間に NvbMan が終了しました）: %2 "
    "には古いデータ、新しいデータ、またはどちらでもないものが記憶されている可能性があります。%3",
    "編集 > 元に戻す、または nvbman-cli undo で、また空にできます。",
};
constexpr std::array kKeptEn = {
    "The old item \"%1\" was kept as copy %2 (\"%3\"). To put it back: File > Replaced "
    "Items..., or nvbman-cli put-back %2.",
    "What it replaced is kept: %1. To put it back: Edit > Undo, or nvbman-cli undo (each copy "
    "also in File > Replaced Items...).",
    "copy %1 (%2 \"%3\")",
    "The change \"%1\" was cut short (NvbMan ended during it): %2 may hold the old item, the "
    "new one or neither. %3",
    "Edit > Undo, or nvbman-cli undo, empties it again.",
};
constexpr std::int32_t kKeptCutShort = 3;
constexpr std::int32_t kKeptCutShortEmpty = 4;

}  // namespace

MsgStr::MsgStr() : MsgStr(platform::userDefaultLocaleId()) {}

MsgStr::MsgStr(int localeId) : japanese_(localeId == platform::kLocaleJapanese) {}

QString MsgStr::pick(Group japanese, Group english, std::int32_t index) const {
    const Group group = japanese_ ? japanese : english;
    if (index < 0 || static_cast<std::size_t>(index) >= group.size()) {
        return {};
    }
    return QString::fromUtf8(group[static_cast<std::size_t>(index)]);
}

QString MsgStr::sysExErrorText(std::int32_t code) const {
    return pick(kSysExJa, kSysExEn, code);
}

QString MsgStr::kbdDrvErrorText(std::int32_t code) const {
    return pick(kKbdDrvJa, kKbdDrvEn, code);
}

QString MsgStr::streamErrorText(std::int32_t code) const {
    return pick(kStreamJa, kStreamEn, code);
}

QString MsgStr::operateErrorText(std::int32_t code) const {
    return pick(kOperateJa, kOperateEn, code);
}

QString MsgStr::statusText(std::int32_t command) const {
    return pick(kStatusJa, kStatusEn, command);
}

QString MsgStr::folderText(std::int32_t index) const {
    return pick(kFolderJa, kFolderEn, index);
}

QString MsgStr::cancelledText(bool songSlotEmptied) const {
    return pick(kCancelJa, kCancelEn, songSlotEmptied ? 1 : 0);
}

QString MsgStr::songSlotEmptiedText() const {
    return pick(kSlotEmptiedJa, kSlotEmptiedEn, 0);
}

QString MsgStr::replaceBackupQuestion(const QString& folder) const {
    return pick(kReplaceBackupJa, kReplaceBackupEn, 0).arg(folder);
}

QString MsgStr::restoreQuestion(int items, const QString& folder, bool keepsCopies) const {
    return pick(kJobJa, kJobEn, keepsCopies ? kRestoreKeepingQuestion : 0).arg(items).arg(folder);
}

QString MsgStr::restoreDetail(int identical, int kept) const {
    return pick(kJobJa, kJobEn, kRestoreDetail).arg(identical).arg(kept);
}

QString MsgStr::stoppedRestoreQuestion(int kept) const {
    return pick(kJobJa, kJobEn, kStoppedRestoreQuestion).arg(kept);
}

QString MsgStr::jobDoneText(bool restore, int items) const {
    return pick(kJobJa, kJobEn, restore ? 2 : 1).arg(items);
}

QString MsgStr::retriedText(const QString& slots) const {
    return pick(kRetriedJa, kRetriedEn, 0).arg(slots);
}

QString MsgStr::retryNote(bool changeMadeAgain) const {
    return pick(kRetryNoteJa, kRetryNoteEn, changeMadeAgain ? 1 : 0);
}

QString MsgStr::verdictText(int verdict) const {
    return pick(kCompareJa, kCompareEn, verdict);
}

QString MsgStr::compareSameText(int slots) const {
    return pick(kCompareJa, kCompareEn, kVerdictCount).arg(slots);
}

QString MsgStr::compareDifferHeading(int differing, int slots) const {
    return pick(kCompareJa, kCompareEn, kVerdictCount + 1).arg(differing).arg(slots);
}

QString MsgStr::restorePlanText(int verdict) const {
    return pick(kPlanJa, kPlanEn, verdict);
}

QString MsgStr::restorePlanSummary(int replaced, int filled, int identical) const {
    return pick(kPlanJa, kPlanEn, kPlanSummary).arg(replaced).arg(filled).arg(identical);
}

QString MsgStr::putBackQuestion() const {
    return pick(kPutBackJa, kPutBackEn, 0);
}

QString MsgStr::jobStoppedText() const {
    return pick(kJobStoppedJa, kJobStoppedEn, 0);
}

namespace {
// The batch texts' order: Import, Send, Delete; the headings follow the three.
int batchIndex(MsgStr::Command command) {
    return command == MsgStr::Receive ? 0 : command == MsgStr::Send ? 1 : 2;
}
constexpr int kBatchHeadings = 3;
}  // namespace

QString MsgStr::batchDoneText(Command command, int items) const {
    return pick(kBatchJa, kBatchEn, batchIndex(command)).arg(items);
}

QString MsgStr::replaceFileQuestion(const QString& name) const {
    return pick(kReplaceFileJa, kReplaceFileEn, 0).arg(name);
}

QString MsgStr::batchFailedHeading(Command command) const {
    return pick(kBatchJa, kBatchEn, kBatchHeadings + batchIndex(command));
}

QString MsgStr::jobFailedHeading(bool restore) const {
    return pick(kJobJa, kJobEn, restore ? 4 : 3);
}

QString MsgStr::changeTitle(const QString& action, const QStringList& subjects) const {
    const auto found = std::find(kChangeActions.begin(), kChangeActions.end(), action);
    if (found == kChangeActions.end()) {
        return action + ' ' + subjects.join(' ');
    }
    // Several slots of one send or delete are named together.
    const bool allSlots = action == "send" || action == "delete";
    const QString text = pick(kChangeJa, kChangeEn, std::int32_t(found - kChangeActions.begin()));
    const QString first = allSlots ? subjects.join(", ") : subjects.value(0);
    return text.contains("%2") ? text.arg(first, subjects.value(1)) : text.arg(first);
}

QString MsgStr::undoActionText(bool undo, const QString& title) const {
    const std::int32_t index = (title.isEmpty() ? kEditPlainUndo : kEditUndo) + (undo ? 0 : 1);
    return title.isEmpty() ? pick(kEditJa, kEditEn, index)
                           : pick(kEditJa, kEditEn, index).arg(title);
}

QString MsgStr::editPrompt(EditPrompt prompt, const QString& slot) const {
    return pick(kEditJa, kEditEn, kEditCopyPrompt + std::int32_t(prompt)).arg(slot);
}

QString MsgStr::renamePrompt(const QString& slot) const {
    return pick(kEditJa, kEditEn, kEditRenamePrompt).arg(slot);
}

QString MsgStr::changedSinceQuestion(const QStringList& slots, const QString& title) const {
    return pick(kEditJa, kEditEn, kEditChangedSince).arg(slots.join(", "), title);
}

QString MsgStr::nothingToTakeBack(bool undo) const {
    return pick(kEditJa, kEditEn, kEditNothing + (undo ? 0 : 1));
}

QString MsgStr::codedText(const platform::CodedText& text) const {
    return platform::errorText(text, japanese_);
}

QString MsgStr::ownText(const platform::CodedText& text) const {
    using platform::ErrorCode;
    const std::int32_t number = text.args.value(0).toInt();
    switch (text.code) {
        case ErrorCode::KeyboardRefused:
            return sysExErrorText(number);
        case ErrorCode::DriverRefused:
            return kbdDrvErrorText(number);
        case ErrorCode::StreamRefused:
            return streamErrorText(number);
        case ErrorCode::OperationRefused:
            return operateErrorText(number);
        case ErrorCode::Stopped:
            return cancelledText(text.args.value(0) == QLatin1String(kStoppedSongSlotEmptied));
        case ErrorCode::SongSlotEmptied:
            return (text.reason ? codedText(*text.reason) + '\n' : QString()) +
                   songSlotEmptiedText();
        case ErrorCode::NotTried:
            return jobStoppedText();
        case ErrorCode::KeptByChange: {
            constexpr qsizetype kPerCopy = 3;  // number, slot, name
            QStringList copies;
            for (qsizetype i = 0; i + kPerCopy <= text.args.size(); i += kPerCopy) {
                copies << keptCopyEntry(text.args[i].toLongLong(), text.args[i + 1],
                                        text.args[i + 2]);
            }
            return (text.reason ? codedText(*text.reason) + '\n' : QString()) +
                   keptByChangeText(copies);
        }
        default:
            return {};
    }
}

QString MsgStr::keptCopyText(const QString& name, std::int64_t id, const QString& file) const {
    return pick(kKeptJa, kKeptEn, 0).arg(name).arg(id).arg(file);
}

QString MsgStr::keptByChangeText(const QStringList& copies) const {
    return pick(kKeptJa, kKeptEn, 1)
        .arg(copies.join(japanese_ ? QStringLiteral("、") : QStringLiteral(", ")));
}

QString MsgStr::cutShortText(const QString& title, const QStringList& slots,
                             const QStringList& copies) const {
    const QString separator = japanese_ ? QStringLiteral("、") : QStringLiteral(", ");
    const QString undo = copies.isEmpty() ? pick(kKeptJa, kKeptEn, kKeptCutShortEmpty)
                                          : keptByChangeText(copies);
    return pick(kKeptJa, kKeptEn, kKeptCutShort).arg(title, slots.join(separator), undo);
}

QString MsgStr::keptCopyEntry(std::int64_t id, const QString& slot, const QString& name) const {
    return pick(kKeptJa, kKeptEn, 2).arg(id).arg(slot, name);
}
