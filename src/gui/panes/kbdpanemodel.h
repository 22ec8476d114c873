#pragma once

#include <QStandardItemModel>
#include <QString>
#include <functional>

#include "library/slotsonpc.h"

#include "icons/paneicons.h"

class EkData;
class EkKbdDrv;
class MsgStr;

// The rows carry the driver's data object itself, typed (the driver's tree outlives the rows:
// the models are rebuilt whenever it changes).
Q_DECLARE_OPAQUE_POINTER(EkData*)
Q_DECLARE_METATYPE(EkData*)

// The keyboard pane's two models over the driver's picture of the keyboard's memory. They never
// talk to the keyboard: they read the driver's tree through its folder cursor. Every node and
// row carries the data object it shows (DataObjectRole) and the index of its picture in the
// keyboard icon set (IconIndexRole); the views take the pictures from PaneIcons.
namespace kbdpane {

enum Role : int {
    DataObjectRole = Qt::UserRole + 1,  // EkData*, null for the tree's root
    IconIndexRole,                      // an Icon
    OnPcFileRole,                       // the "On PC" cell: the first file holding the item
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
    KbdTreeModel(EkKbdDrv& driver, QString modelName, QObject* parent = nullptr);

    // Builds the tree again from the driver: areas show whether the list has been fetched,
    // folders whether their part of it has.
    void rebuild();

    QModelIndex root() const { return index(0, 0); }
    QModelIndex firstArea() const { return index(0, 0, root()); }
    // The node's path as the driver's cursor takes it: "Tone:\", "Registration:\Bank2\",
    // "Song Rhythm:\Song\"; the root gives "\".
    QString nodePath(const QModelIndex& node) const;
    // The first child of `node` whose text is `text`, or an invalid index.
    QModelIndex childNamed(const QModelIndex& node, const QString& text) const;
    static EkData* dataObject(const QModelIndex& node);

private:
    void addSubfolders(QStandardItem* node);

    EkKbdDrv& driver_;
    QString modelName_;
};

// The list of what one tree node holds, in slot order (never sorted), with the columns
// "Name", "Type", "Size(byte)" and "On PC" (whether the user's files hold that very item).
class KbdListModel : public QStandardItemModel {
    Q_OBJECT
public:
    enum Column { NameColumn, TypeColumn, SizeColumn, OnPcColumn, ColumnCount };

    KbdListModel(EkKbdDrv& driver, const MsgStr& messages, QObject* parent = nullptr);

    // Where the "On PC" column looks a slot up: `view` takes what it needs of a slot of the
    // driver's tree as the list is built, `lookUp` looks such a view up (then, and again on
    // refreshOnPc). Unset, the column stays empty.
    using SlotViewer = std::function<library::SlotView(const EkData& slot)>;
    using OnPcSource = std::function<library::SlotOnPc(const library::SlotView& slot)>;
    void setOnPcSource(SlotViewer view, OnPcSource lookUp) {
        view_ = std::move(view);
        onPc_ = std::move(lookUp);
    }
    // Looks every row up again (after a scan of the user's files), from what each row took of
    // its slot when the list was built: never from the driver's tree, which a command running
    // on the keyboard's thread may be changing.
    void refreshOnPc();

    // Lists the folder at `path` (a node path of KbdTreeModel); a path that names no folder,
    // such as the root's, leaves the list empty.
    void list(const QString& path);
    void clearRows();
    static EkData* dataObject(const QModelIndex& row);

private:
    void showOnPc(int row);

    EkKbdDrv& driver_;
    const MsgStr& messages_;
    SlotViewer view_;
    OnPcSource onPc_;
    std::vector<library::SlotView> shown_;  // per row, as the list was built
};
