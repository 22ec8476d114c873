#pragma once

#include <QStandardItemModel>
#include <QString>
#include <functional>

#include "library/slotsonpc.h"

#include "icons/paneicons.h"
#include "keyboardpicture.h"

class MsgStr;

// The keyboard pane's two models over the window's picture of the keyboard's memory
// (KeyboardPicture): they never talk to the keyboard nor read the driver's tree. Every node and
// row carries the index of its picture in the keyboard icon set (IconIndexRole); the views take
// the pictures from PaneIcons.
namespace kbdpane {

enum Role : int {
    IconIndexRole = Qt::UserRole + 1,  // an Icon
    OnPcFileRole,                      // the "On PC" cell: the first file holding the item
};

// Only songs and user rhythms can be deleted: Delete is allowed on the song folder and the
// rhythm folder once the list has been fetched.
bool deleteAllowed(const QString& nodeText, bool listFetched);

}  // namespace kbdpane

// The keyboard tree: the root (the model's name), the memory areas shown as drives (their name
// and a backslash) and the folders inside them. Slots are never nodes.
class KbdTreeModel : public QStandardItemModel {
    Q_OBJECT
public:
    KbdTreeModel(QString modelName, QObject* parent = nullptr);

    // Builds the tree again from `picture`: areas show whether the list has been fetched,
    // folders whether their part of it has.
    void rebuild(const KeyboardPicture& picture);

    QModelIndex root() const { return index(0, 0); }
    QModelIndex firstArea() const { return index(0, 0, root()); }
    // The node's path as the driver's cursor takes it: "Tone:\", "Registration:\Bank2\",
    // "Song Rhythm:\Song\"; the root gives "\".
    QString nodePath(const QModelIndex& node) const;
    // The first child of `node` whose text is `text`, or an invalid index.
    QModelIndex childNamed(const QModelIndex& node, const QString& text) const;
    // Whether `node` is a memory area (a child of the root).
    bool isArea(const QModelIndex& node) const;

private:
    void addSubfolders(const KeyboardPicture& picture, QStandardItem* node);

    QString modelName_;
};

// The list of what one tree node holds, in slot order (never sorted), with the columns
// "Name", "Type", "Size(byte)", "On PC" (whether the user's files hold that very item) and
// "Tags" (the user's tags of the item, when the window has seen it).
class KbdListModel : public QStandardItemModel {
    Q_OBJECT
public:
    enum Column { NameColumn, TypeColumn, SizeColumn, OnPcColumn, TagsColumn, ColumnCount };

    KbdListModel(const MsgStr& messages, QObject* parent = nullptr);

    // Where the "On PC" column looks a slot up (as the list is built, and again on
    // refreshOnPc). Unset, the column stays empty.
    using OnPcSource = std::function<library::SlotOnPc(const library::SlotView& slot)>;
    void setOnPcSource(OnPcSource lookUp) { onPc_ = std::move(lookUp); }
    // Looks every row up again (after a scan of the user's files).
    void refreshOnPc();
    // What the "On PC" column says of `slot` (any slot, listed here or not), as it says it.
    QString onPcText(const library::SlotView& slot) const;
    // Where the "Tags" column finds a slot's tags ("live, pads"); unset, it stays empty.
    using TagsSource = std::function<QString(const library::SlotView& slot)>;
    void setTagsSource(TagsSource lookUp) { tags_ = std::move(lookUp); }
    // Looks every row's tags up again (after the user changed some).
    void refreshTags();
    QString tagsText(const library::SlotView& slot) const { return tags_ ? tags_(slot) : QString(); }

    // Lists the folder at `path` (a node path of KbdTreeModel) as `picture` shows it; a path
    // that names no folder, such as the root's, leaves the list empty.
    void list(const KeyboardPicture& picture, const QString& path);
    void clearRows();
    // What the row (any of its columns) shows; null for an index of no row.
    const PictureRow* rowAt(const QModelIndex& row) const;

private:
    void showRow(int row);
    void showOnPc(int row);
    void showTags(int row);
    // The "On PC" cell's text and tip for what the look-up found.
    static std::pair<QString, QString> onPcCell(const library::SlotOnPc& found);

    const MsgStr& messages_;
    QString listedPath_;
    OnPcSource onPc_;
    TagsSource tags_;
    std::vector<PictureRow> shown_;  // per row, as the list was built
};
