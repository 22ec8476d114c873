#pragma once

#include <QAbstractItemModel>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QStandardItemModel>
#include <functional>
#include <optional>
#include <vector>

#include "stream/nvbfilestream.h"
#include "stream/nvbtransfer.h"

// The local pane's two models: the PC's folders as a tree and the entries of one folder as a
// list. Both read the file system directly and only when asked: a folder's sub-folders when it
// is expanded or selected, its entries when it is selected or re-read. Hidden and system
// entries ("." and "..", dot files, devices, sockets, broken links) are never shown; a folder
// that cannot be read simply shows nothing.
//
// Why not QFileSystemModel: it loads on a thread and reports later, so "list the folder, then
// select the file just imported" would race it; it sorts folders before files where this pane
// keeps one order by caption; and it watches folders, while this pane re-reads at fixed moments.
namespace localpane {

// The pane's one order for folders and files alike: by caption, ignoring case, then by case.
bool captionLess(const QString& a, const QString& b);
// A file's size as the list shows it: whole kilobytes rounded down, at least 1 ("0KB" would
// read as empty); 64-bit, so files of 4 GiB and more show their true size.
QString sizeText(qint64 bytes);
// Whether the folder holds at least one sub-folder the tree would show.
bool hasSubfolder(const QString& folderPath);

}  // namespace localpane

// The folder tree: one top-level node per root of the file system ("/" here), then one node per
// sub-folder. A node shows an expansion mark when it is known to hold a sub-folder.
class LocalTreeModel : public QStandardItemModel {
    Q_OBJECT
public:
    explicit LocalTreeModel(QObject* parent = nullptr);

    // The file system's roots, each marked when it holds a sub-folder.
    void buildRoots();
    // Reads the node's sub-folders from disk again: vanished ones go, new ones come in caption
    // order, those still there keep their nodes (so a selection below them survives).
    void refreshSubfolders(const QModelIndex& node);
    // The node's folder, ending in a separator: "/home/user/Music/".
    QString nodePath(const QModelIndex& node) const;
    // Walks from a root down `path`, reading folders on the way; the deepest folder of the path
    // that exists, or an invalid index when no root begins the path.
    QModelIndex expandToPath(const QString& path);
    QModelIndex childNamed(const QModelIndex& node, const QString& text) const;

    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;

private:
    QStandardItem* folderItem(const QString& name, const QString& path) const;
    QModelIndex expandToPath(const QString& path, const QModelIndex& node);

    QFileIconProvider icons_;
};

// The entries of one folder, files and folders alike, in caption order, with the columns
// "Name", "Type" (the desktop's word for the kind of file) and "Size", and for a ".nvb" file the
// item's own name and type ("Item Name", "Item Type") and the user's tags of its items ("Tags",
// from a source the window sets). Those three are read from the file's first
// bytes the first time a view asks for them (only the rows shown), so a folder of thousands of
// files lists as quickly as without them. A ".syx" dump of several items has a row for each
// below its own (shown by the details view); they cannot be selected, only the file can.
class LocalListModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column : int {
        NameColumn = 0,
        TypeColumn,
        SizeColumn,
        ItemNameColumn,
        ItemTypeColumn,
        TagsColumn,
        ColumnCount
    };

    explicit LocalListModel(QObject* parent = nullptr);

    // Where the "Tags" column finds the tags of a keyboard file's items ("live, pads"); unset,
    // it stays empty.
    using TagsSource = std::function<QString(const QString& path)>;
    void setTagsSource(TagsSource lookUp) { tags_ = std::move(lookUp); }
    // Looks the rows' tags up again, as they are next shown (after the user changed some).
    void refreshTags();

    // Reads `folderPath` (ending in a separator) again; an empty path empties the list.
    void list(const QString& folderPath);
    void clearRows();
    const QString& folderPath() const { return folder_; }

    QFileInfo entry(const QModelIndex& row) const;
    // The row whose caption is exactly `name`, or an invalid index.
    QModelIndex rowNamed(const QString& name) const;

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    // A dump not read yet may have several items: said without reading it, so that only the
    // rows a user opens are read.
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        QFileInfo info;
        QString type;
        // The item of a ".nvb" file, or those of a ".syx" dump, once read: none for any other
        // file.
        mutable bool peeked = false;
        mutable std::vector<NvbFileStream::Summary> items;
        mutable std::optional<QString> tags;  // once looked up
    };

    const std::vector<NvbFileStream::Summary>& itemsOf(const Row& row) const;
    // The items shown below a file's row: a dump's when it holds more than one.
    const std::vector<NvbFileStream::Summary>* childItemsOf(const QModelIndex& file) const;
    QVariant itemData(const NvbFileStream::Summary& item, int column, int role) const;

    QString typeName(const QFileInfo& info) const;

    QString folder_;
    std::vector<Row> rows_;
    TagsSource tags_;
    QFileIconProvider icons_;
    QMimeDatabase mimeTypes_;
    // Icons come from the desktop's theme by file kind; one look-up per kind and not per file
    // keeps a folder of thousands of files quick.
    mutable QHash<QString, QIcon> iconCache_;
};
