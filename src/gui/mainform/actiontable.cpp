// The window's commands in one table: caption, hint, icon, shortcut, when each can be used and
// what it runs. Menus, toolbars and pop-up menus place these actions; WindowActions keeps
// their enabled state.

#include <QApplication>

#include "dialogs/helpcommands.h"
#include "pclinkform.h"

std::vector<ActionRow> TPcLinkForm::actionTable() {
    using Use = ActionUse;
    using Icon = ToolbarIcon;
    const auto edit = [this](organise::Edit kind) {
        return [this, kind] { askAndEditSelectedSlot(kind); };
    };
    // "P&roperies" is the keyboard software's own caption for a folder's properties, misspelt
    // as it is. Undo's and Redo's captions name the change they take back (updateUndoActions).
    return {
        {Act::Connect, "ConnectAction", QT_TR_NOOP("Get/Update &List"),
         QT_TR_NOOP("Get/Update List"), Icon::GetList, QKeySequence(Qt::Key_F5), Use::Idle,
         [this] { ConnectActionExecute(); }},
        {Act::Disconnect, "DisconnectAction", QT_TR_NOOP("Disconnect"), QT_TR_NOOP("Disconnect"),
         Icon::None, {}, Use::Idle, [this] { DisconnectActionExecute(); }},
        {Act::KbdUpdate, "KbdUpdateAction", QT_TR_NOOP("Get/Update &List"),
         QT_TR_NOOP("Get/Update List"), Icon::GetList, {}, Use::Idle,
         [this] { KbdUpdateActionExecute(); }},
        {Act::Send, "SendAction", QT_TR_NOOP("&Send"), QT_TR_NOOP("Send"), Icon::Send, {},
         Use::AfterList, [this] { SendActionExecute(); }},
        {Act::Receive, "ReceiveAction", QT_TR_NOOP("&Import"), QT_TR_NOOP("Import"), Icon::Import,
         {}, Use::AfterList, [this] { ReceiveActionExecute(); }},
        {Act::Delete, "DeleteAction", QT_TR_NOOP("&Delete"), QT_TR_NOOP("Delete"), Icon::Delete,
         {}, Use::DeleteHere, [this] { DeleteActionExecute(); }},
        {Act::LocalUpdate, "LocalUpdateAction", QT_TR_NOOP("&Retrieve"), QT_TR_NOOP("Retrieve"),
         Icon::Retrieve, {}, Use::Idle, [this] { LocalUpdateActionExecute(); }},
        {Act::LocalPropOpen, "PropOpen", QT_TR_NOOP("P&roperties"), QT_TR_NOOP("Properties"),
         Icon::None, {}, Use::Idle, [this] { PropOpenExecute(false); }},
        {Act::KbdPropOpen, "KbdPropOpen", QT_TR_NOOP("P&roperties"), QT_TR_NOOP("Properties"),
         Icon::None, {}, Use::AfterList, [this] { PropOpenExecute(true); }},
        {Act::KbdDrvPropOpen, "KbdDrvPropOpen", QT_TR_NOOP("P&roperies"),
         QT_TR_NOOP("Properties"), Icon::None, {}, Use::Idle, [this] { KbdDrvPropOpenExecute(); }},
        {Act::ShellOpen, "ShellOpen", QT_TR_NOOP("Start Up &Explorer"),
         QT_TR_NOOP("Start Up Explorer"), Icon::None, {}, Use::Idle, [this] { ShellOpenExecute(); }},
        {Act::PrefOpen, "PrefOpen", QT_TR_NOOP("&Preference"), QT_TR_NOOP("Preference"),
         Icon::None, {}, Use::Idle, [this] { PrefOpenExecute(); }},
        {Act::BackUp, "BackUpAction", QT_TR_NOOP("&Back Up Keyboard..."),
         QT_TR_NOOP("Back Up Keyboard"), Icon::None, {}, Use::Idle, [this] { askAndBackUp(); }},
        {Act::Restore, "RestoreAction", QT_TR_NOOP("&Restore Keyboard..."),
         QT_TR_NOOP("Restore Keyboard"), Icon::None, {}, Use::Idle, [this] { askAndRestore(); }},
        {Act::Compare, "CompareAction", QT_TR_NOOP("Co&mpare With Backup..."),
         QT_TR_NOOP("Compare With Backup"), Icon::None, {}, Use::Idle,
         [this] { askAndCompare(); }},
        {Act::ReplacedItems, "ReplacedItemsAction", QT_TR_NOOP("Replaced &Items..."),
         QT_TR_NOOP("Replaced Items"), Icon::None, {}, Use::Idle, [this] { showReplacedItems(); }},
        {Act::ExportDump, "ExportDumpAction", QT_TR_NOOP("&Export As .syx..."),
         QT_TR_NOOP("Export As .syx"), Icon::None, {}, Use::AfterList, [this] { askAndExport(); }},
        {Act::Library, "LibraryAction", QT_TR_NOOP("&Library..."), QT_TR_NOOP("Library"),
         Icon::None, {}, Use::Idle, [this] { showLibrary(); }},
        {Act::CheckOnPc, "CheckOnPcAction", QT_TR_NOOP("Chec&k On PC"), QT_TR_NOOP("Check On PC"),
         Icon::None, {}, Use::Idle, [this] { checkOnPc(); }},
        {Act::Undo, "UndoAction", "", nullptr, Icon::None, QKeySequence::Undo, Use::Idle,
         [this] { takeBackLatest(true); }},
        {Act::Redo, "RedoAction", "", nullptr, Icon::None,
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), Use::Idle,
         [this] { takeBackLatest(false); }},
        {Act::CopyTo, "CopyToAction", QT_TR_NOOP("&Copy To..."), nullptr, Icon::None, {},
         Use::AfterList, edit(organise::Edit::Copy)},
        {Act::MoveTo, "MoveToAction", QT_TR_NOOP("&Move To..."), nullptr, Icon::None, {},
         Use::AfterList, edit(organise::Edit::Move)},
        {Act::SwapWith, "SwapWithAction", QT_TR_NOOP("S&wap With..."), nullptr, Icon::None, {},
         Use::AfterList, edit(organise::Edit::Swap)},
        {Act::Rename, "RenameAction", QT_TR_NOOP("Re&name..."), nullptr, Icon::None, {},
         Use::AfterList, [this] { askAndRenameSelectedSlot(); }},
        {Act::Exit, "ExitAction", QT_TR_NOOP("E&xit"), QT_TR_NOOP("Exit"), Icon::None, {},
         Use::Always, [this] { close(); }},
        {Act::Help, "HelpAction", QT_TR_NOOP("NvbMan &Help"), QT_TR_NOOP("NvbMan Help"),
         Icon::None, QKeySequence(Qt::Key_F1), Use::Always, [this] { openHelp(); }},
        {Act::About, "AboutAction", QT_TR_NOOP("&About NvbMan"), QT_TR_NOOP("About NvbMan"),
         Icon::None, {}, Use::Always, [this] { help::showAbout(this, settings_.outputDevice); }},
        {Act::AboutQt, "AboutQtAction", QT_TR_NOOP("About &Qt"), QT_TR_NOOP("About Qt"),
         Icon::None, {}, Use::Always, [] { QApplication::aboutQt(); }},
    };
}
