#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>

#include "actions/windowactions.h"
#include "backup/keyboardbackup.h"
#include "kbddrv/slotaddress.h"
#include "msg/msgstr.h"
#include "msg/operateexception.h"
#include "organise/slotedits.h"
#include "panes/paneviews.h"
#include "platform/keyboardthread.h"
#include "platform/settingsstore.h"
#include "printing/listdialogs.h"
#include "safety/safetystore.h"
#include "stream/nvbtransfer.h"

namespace platform {
class KeyboardSession;
}
class TransferCommands;
class EditCommands;
class KeyboardJobs;
class WindowLibrary;
class WindowVersions;
struct WindowParts;
class WindowLayout;
class CommandFrame;
class MidiLogDock;
class EkKbdDrv;
class PcPane;
class KbdPane;
class PaneDragDrop;
class PBarKbdDrvObserver;
class QAction;
class QLabel;
class QMessageBox;
class QProgressBar;
class QToolBar;

// The program's one window: the PC's folders and files above, the keyboard's memory below, the
// status text and progress bar at the bottom. It is the frame and the wiring: the two panes
// (PcPane, KbdPane) and the command rooms (transfers, whole-keyboard jobs, edits, the library)
// do the work; every keyboard command runs through one CommandFrame; every action is a row of
// the action table; the settings are read once by start() and written once when the window
// closes. The keyboard's driver talks to the keyboard on the window's keyboard thread.
class TPcLinkForm : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "MLS-850 MUSIC DATA MANAGEMENT SOFTWARE";

    explicit TPcLinkForm(std::unique_ptr<platform::SettingsStore> store, QWidget* parent = nullptr);
    ~TPcLinkForm() override;

    // Reads the settings; on a first start or unreadable settings the preference dialog opens
    // first. Call once, before showing the window.
    void start();
    // Opens the file's folder in the PC list with the file selected (a folder: that folder),
    // and brings the window to the front; an empty path only brings it forward.
    void showFile(const QString& filePath);

    // The commands (also run by their actions).
    void ConnectActionExecute();
    void DisconnectActionExecute();
    void SendActionExecute();
    void ReceiveActionExecute();
    void DeleteActionExecute();
    // Properties of the current row of the PC list (`keyboardSide` false) or the keyboard list.
    void PropOpenExecute(bool keyboardSide);
    void KbdUpdateActionExecute();
    void LocalUpdateActionExecute();
    void PrefOpenExecute();
    void KbdDrvPropOpenExecute();
    void ShellOpenExecute();
    // The rooms that run the window's other commands: transfers (and the kept copies put
    // back), whole-keyboard jobs, edits and Undo, the library.
    TransferCommands& transfers() { return *transfers_; }
    KeyboardJobs& jobs() { return *jobs_; }
    EditCommands& edits() { return *edits_; }
    WindowLibrary& library() { return *library_; }
    WindowVersions& versions() { return *versions_; }

    // The keyboard's list to print or share (File > Print List..., Export List...).
    lists::ItemList keyboardList() const;
    // Writes it to `path`, as CSV, HTML or PDF by the file name's suffix; says a failure.
    bool exportList(const QString& path);

    const platform::Settings& settings() const { return settings_; }
    CommandFrame& frame() { return *frame_; }
    // Where the window's keyboard commands run (and an in-process keyboard belongs, such as the
    // built-in one: it then answers beside the commands, as a keyboard on a cable would).
    platform::KeyboardThread& keyboardThread() { return keyboard_; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The window's commands (actiontable.cpp) and the menus that hold them.
    std::vector<ActionRow> actionTable();
    void buildActions();
    QAction* action(Act act) const { return (*actions_)[act]; }
    // Every action's enabled state, from whether a command runs, whether the keyboard has been
    // listed and the selected keyboard folder.
    void updateActions();
    // The File menu's folder questions, then the command on the folder chosen.
    QString askForFolder(const QString& caption);
    void askAndBackUp();
    void askAndRestore();
    void askAndExport();
    void askAndCompare();
    void askAndExportList();
    // The list in Qt's print preview, from which it is printed.
    void printList();
    // An error box over the window, for the list's helpers.
    lists::ShowError showError() const;
    void openHelp();
    void buildLayout();
    // The layout the window had when it was last closed (see WindowLayout).
    void restoreLayout();
    QWidget* buildLocalPane();
    QWidget* buildKbdPane();
    // A pane's four looks on its toolbar; they wait while a command runs.
    void addViewStyles(QToolBar* bar, const paneviews::FileViews& views, const QString& prefix);
    void LoadSettings();
    // The devices of the settings, found anew, and the keyboard held for one command.
    std::unique_ptr<platform::KeyboardSession> beginKeyboardCommand(platform::Settings& job);
    void SaveSettings();
    void buildPopupMenus();
    void buildDragDrop();
    void FormActivate(Qt::ApplicationState state);
    // A file handed over that cannot be shown: said in one box, which gathers the failures
    // that come while it is open instead of stacking a box for each.
    void showHandOverFailure(const QString& text);
    // At the start: the changes a program killed midway left under way, said once.
    void tellOfChangesCutShort();
    // A close while a command runs: whether the user wants it stopped and the window closed.
    bool askToStopAndClose();
    // The program is ending by another path than a close (a signal, the desktop's session):
    // the running command is stopped the safe way, the settings and the layout written.
    void quitting();
    // The close the user asked for while a command ran, now that it has ended.
    void closeOnceTheCommandEnded();
    // The file handed over while a command ran, now that it has ended.
    void showFileHandedOverDuringACommand();
    // The window's command rooms, made once the panes and the frame are there.
    void buildRooms();

    std::unique_ptr<platform::SettingsStore> store_;
    // Made first and ended last of the members: no command runs by then.
    platform::KeyboardThread keyboard_;
    platform::Settings settings_;
    bool settingsSaved_ = false;
    MsgStr messages_;
    safety::Store safetyStore_;
    EkKbdDrv& driver_;
    QString modelName_;

    QProgressBar* progressBar_ = nullptr;
    QLabel* statusText_ = nullptr;
    std::unique_ptr<PBarKbdDrvObserver> listProgress_;
    std::unique_ptr<WindowLayout> layout_;
    QPointer<QMessageBox> handOverFailures_;
    QStringList handOverFailureLines_;  // every failure the open box stands for
    QString fileAfterCommand_;          // the last file handed over while a command ran
    bool closeAfterCommand_ = false;    // the user asked to stop the command and close
    CommandFrame* frame_ = nullptr;

    PcPane* pc_ = nullptr;
    KbdPane* kbd_ = nullptr;
    PaneDragDrop* dragDrop_ = nullptr;

    WindowActions* actions_ = nullptr;
    MidiLogDock* midiLog_ = nullptr;
    // View > "Tags Column": both lists' details show the user's tags (off at first).
    QAction* tagsColumn_ = nullptr;

    // What the command rooms work with, and the rooms.
    std::unique_ptr<WindowParts> parts_;
    std::unique_ptr<TransferCommands> transfers_;
    std::unique_ptr<EditCommands> edits_;
    std::unique_ptr<KeyboardJobs> jobs_;
    WindowLibrary* library_ = nullptr;
    WindowVersions* versions_ = nullptr;
};
