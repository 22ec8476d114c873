#include "localpanemodel.h"

#include <QDir>
#include <QDirIterator>
#include <QMimeDatabase>
#include <algorithm>

#include "kbdpanemodel.h"
#include "platform/systemerror.h"
#include "syx/syxdump.h"

namespace {

// Between the names (and types) of a dump's items in one row.
constexpr const char* kItemSeparator = ", ";

}  // namespace

namespace localpane {
namespace {

// What the pane shows of a folder: no "." and "..", nothing hidden, no system entries.
constexpr QDir::Filters kShownFolders = QDir::Dirs | QDir::NoDotAndDotDot;
constexpr QDir::Filters kShownEntries = QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot;

QFileInfoList shownEntries(const QString& folder, QDir::Filters filters) {
    QFileInfoList entries = QDir(folder).entryInfoList(filters, QDir::Unsorted);
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return captionLess(a.fileName(), b.fileName());
    });
    return entries;
}

}  // namespace

bool captionLess(const QString& a, const QString& b) {
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

QString sizeText(qint64 bytes) {
    return QString::number(std::max<qint64>(bytes / 1024, 1)) + QStringLiteral("KB");
}

bool hasSubfolder(const QString& folderPath) {
    return QDirIterator(folderPath, kShownFolders).hasNext();
}

}  // namespace localpane

LocalTreeModel::LocalTreeModel(QObject* parent) : QStandardItemModel(parent) {}

QStandardItem* LocalTreeModel::folderItem(const QString& name, const QString& path) const {
    auto* item = new QStandardItem(icons_.icon(QFileInfo(path)), name);
    item->setEditable(false);
    item->setData(localpane::hasSubfolder(path), Qt::UserRole);
    return item;
}

void LocalTreeModel::buildRoots() {
    clear();
    for (const QFileInfo& root : QDir::drives()) {
        appendRow(
            folderItem(QDir::toNativeSeparators(root.absoluteFilePath()), root.absoluteFilePath()));
    }
}

bool LocalTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return rowCount() > 0;
    }
    return rowCount(parent) > 0 || parent.data(Qt::UserRole).toBool();
}

QString LocalTreeModel::nodePath(const QModelIndex& node) const {
    if (!node.isValid()) {
        return {};
    }
    QString path = node.data().toString();
    for (QModelIndex up = node.parent(); up.isValid(); up = up.parent()) {
        QString above = up.data().toString();
        if (!above.endsWith(QDir::separator())) {
            above += QDir::separator();
        }
        path.prepend(above);
    }
    if (!path.endsWith(QDir::separator())) {
        path += QDir::separator();
    }
    return path;
}

void LocalTreeModel::refreshSubfolders(const QModelIndex& node) {
    QStandardItem* parent = itemFromIndex(node);
    if (parent == nullptr) {
        return;
    }
    const QString path = nodePath(node);
    QStringList names;
    for (const QFileInfo& folder : localpane::shownEntries(path, localpane::kShownFolders)) {
        names << folder.fileName();
    }
    for (int row = parent->rowCount() - 1; row >= 0; --row) {
        if (!names.contains(parent->child(row)->text())) {
            parent->removeRow(row);
        }
    }
    // Both lists are in caption order: walk them together, inserting what is new.
    int row = 0;
    for (const QString& name : names) {
        while (row < parent->rowCount() &&
               localpane::captionLess(parent->child(row)->text(), name)) {
            ++row;
        }
        const QString folder = QDir(path).filePath(name);
        if (row < parent->rowCount() && parent->child(row)->text() == name) {
            parent->child(row)->setData(localpane::hasSubfolder(folder), Qt::UserRole);
        } else {
            parent->insertRow(row, folderItem(name, folder));
        }
        ++row;
    }
    parent->setData(!names.isEmpty(), Qt::UserRole);
}

QModelIndex LocalTreeModel::childNamed(const QModelIndex& node, const QString& text) const {
    for (int row = 0; row < rowCount(node); ++row) {
        const QModelIndex child = index(row, 0, node);
        if (child.data().toString() == text) {
            return child;
        }
    }
    return {};
}

QModelIndex LocalTreeModel::expandToPath(const QString& path) {
    QString wanted = QDir::toNativeSeparators(QDir::cleanPath(path));
    if (!wanted.endsWith(QDir::separator())) {
        wanted += QDir::separator();
    }
    for (int row = 0; row < rowCount(); ++row) {
        const QModelIndex found = expandToPath(wanted, index(row, 0));
        if (found.isValid()) {
            return found;
        }
    }
    return {};
}

QModelIndex LocalTreeModel::expandToPath(const QString& path, const QModelIndex& node) {
    QString head = node.data().toString();
    if (!head.endsWith(QDir::separator())) {
        head += QDir::separator();
    }
    if (!path.startsWith(head)) {
        return {};
    }
    const QString rest = path.mid(head.size());
    if (rest.isEmpty()) {
        return node;
    }
    refreshSubfolders(node);
    for (int row = 0; row < rowCount(node); ++row) {
        const QModelIndex child = index(row, 0, node);
        // "Music" must not be taken for the first part of "Music2/...": compare whole names.
        if (rest.startsWith(child.data().toString() + QDir::separator()) &&
            QFileInfo(nodePath(child)).isDir()) {
            return expandToPath(rest, child);
        }
    }
    return node;
}

namespace {

// An index's internal id: 0 for a file's row, the file's row + 1 for the rows of its items.
constexpr quintptr kFileRow = 0;

}  // namespace

LocalListModel::LocalListModel(QObject* parent) : QAbstractItemModel(parent) {}

QModelIndex LocalListModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= ColumnCount) {
        return {};
    }
    if (!parent.isValid()) {
        return row < int(rows_.size()) ? createIndex(row, column, kFileRow) : QModelIndex();
    }
    const auto* items = childItemsOf(parent);
    if (items == nullptr || row >= int(items->size())) {
        return {};
    }
    return createIndex(row, column, quintptr(parent.row()) + 1);
}

QModelIndex LocalListModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kFileRow) {
        return {};
    }
    return createIndex(int(child.internalId() - 1), 0, kFileRow);
}

const std::vector<NvbFileStream::Summary>* LocalListModel::childItemsOf(
    const QModelIndex& file) const {
    if (!file.isValid() || file.internalId() != kFileRow || file.column() != 0 ||
        file.row() >= int(rows_.size())) {
        return nullptr;
    }
    const Row& row = rows_[std::size_t(file.row())];
    if (!syx::isDumpFile(row.info.filePath())) {
        return nullptr;
    }
    const auto& items = itemsOf(row);
    return items.size() > 1 ? &items : nullptr;
}

bool LocalListModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return !rows_.empty();
    }
    if (parent.internalId() != kFileRow || parent.column() != 0 ||
        parent.row() >= int(rows_.size())) {
        return false;
    }
    const Row& row = rows_[std::size_t(parent.row())];
    if (!syx::isDumpFile(row.info.filePath()) || row.info.isDir()) {
        return false;
    }
    return !row.peeked || row.items.size() > 1;
}

Qt::ItemFlags LocalListModel::flags(const QModelIndex& index) const {
    if (index.isValid() && index.internalId() != kFileRow) {
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;  // an item of a dump: shown only
    }
    return QAbstractItemModel::flags(index);
}

QString LocalListModel::typeName(const QFileInfo& info) const {
    // The desktop's word for the kind of file; where it knows none (a ".nvb" file, say), the
    // word a file browser uses: the extension in capitals and "File".
    if (!info.isDir() &&
        mimeTypes_.mimeTypeForFile(info, QMimeDatabase::MatchExtension).isDefault()) {
        return info.suffix().isEmpty() ? tr("File") : tr("%1 File").arg(info.suffix().toUpper());
    }
    return icons_.type(info);
}

void LocalListModel::list(const QString& folderPath) {
    beginResetModel();
    folder_ = folderPath;
    rows_.clear();
    if (!folderPath.isEmpty()) {
        for (const QFileInfo& info :
             localpane::shownEntries(folderPath, localpane::kShownEntries)) {
            rows_.push_back({info, typeName(info), false, {}, std::nullopt});
        }
    }
    endResetModel();
}

void LocalListModel::clearRows() {
    list({});
}

QFileInfo LocalListModel::entry(const QModelIndex& row) const {
    if (!row.isValid() || row.model() != this || row.internalId() != kFileRow ||
        row.row() >= int(rows_.size())) {
        return {};
    }
    return rows_[std::size_t(row.row())].info;
}

QModelIndex LocalListModel::rowNamed(const QString& name) const {
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        if (rows_[row].info.fileName() == name) {
            return index(int(row), 0);
        }
    }
    return {};
}

int LocalListModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return int(rows_.size());
    }
    const auto* items = childItemsOf(parent);
    return items != nullptr ? int(items->size()) : 0;
}

int LocalListModel::columnCount(const QModelIndex&) const {
    return ColumnCount;
}

QVariant LocalListModel::itemData(const NvbFileStream::Summary& item, int column, int role) const {
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) {
        return {};
    }
    switch (column) {
        case NameColumn:
        case ItemNameColumn:
            return transfer::keyboardText(item.name);
        case TypeColumn:
        case ItemTypeColumn:
            return kbdpane::typeWord(item.type);
        default:
            return {};
    }
}

QVariant LocalListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    if (index.internalId() != kFileRow) {
        const auto* items = childItemsOf(parent(index));
        return items != nullptr && index.row() < int(items->size())
                   ? itemData((*items)[std::size_t(index.row())], index.column(), role)
                   : QVariant();
    }
    if (index.row() >= int(rows_.size())) {
        return {};
    }
    const Row& row = rows_[std::size_t(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            switch (index.column()) {
                case NameColumn:
                    return row.info.fileName();
                case TypeColumn:
                    return row.type;
                case SizeColumn:
                    return row.info.isDir() ? QString() : localpane::sizeText(row.info.size());
                case ItemNameColumn: {
                    QStringList names;
                    for (const NvbFileStream::Summary& item : itemsOf(row)) {
                        names << transfer::keyboardText(item.name);
                    }
                    return names.join(kItemSeparator);
                }
                case ItemTypeColumn: {
                    QStringList types;
                    for (const NvbFileStream::Summary& item : itemsOf(row)) {
                        if (!types.contains(kbdpane::typeWord(item.type))) {
                            types << kbdpane::typeWord(item.type);
                        }
                    }
                    return types.join(kItemSeparator);
                }
                case TagsColumn:
                    if (!row.tags) {
                        row.tags = tags_ && !itemsOf(row).empty()
                                       ? tags_(row.info.absoluteFilePath())
                                       : QString();
                    }
                    return *row.tags;
                default:
                    return {};
            }
        case Qt::ToolTipRole: {
            // A dump of several items: one line each.
            const auto& items = itemsOf(row);
            if (items.size() < 2 ||
                (index.column() != ItemNameColumn && index.column() != ItemTypeColumn)) {
                return {};
            }
            QStringList lines;
            for (const NvbFileStream::Summary& item : items) {
                lines << kbdpane::typeWord(item.type) + ": " + transfer::keyboardText(item.name);
            }
            return lines.join('\n');
        }
        case Qt::DecorationRole: {
            if (index.column() != 0) {
                return {};
            }
            const QString kind = row.info.isDir() ? QStringLiteral("/") : row.type;
            auto cached = iconCache_.constFind(kind);
            if (cached == iconCache_.constEnd()) {
                cached = iconCache_.insert(kind, icons_.icon(row.info));
            }
            return *cached;
        }
        case Qt::TextAlignmentRole:
            return index.column() == SizeColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

const std::vector<NvbFileStream::Summary>& LocalListModel::itemsOf(const Row& row) const {
    if (row.peeked || row.info.isDir()) {
        return row.items;
    }
    row.peeked = true;
    const QString path = row.info.filePath();
    if (path.endsWith(QLatin1String(NvbFileStream::kSuffix), Qt::CaseInsensitive)) {
        if (const auto item = NvbFileStream::peek(path)) {
            row.items.push_back(*item);
        }
    } else if (syx::isDumpFile(path)) {
        try {
            for (const syx::DumpedItem& found : syx::readDumpFile(path).items) {
                row.items.push_back({found.type(), found.name()});
            }
        } catch (const platform::SystemError&) {
            // Unreadable or too large: a file like any other.
        }
    }
    return row.items;
}

void LocalListModel::refreshTags() {
    for (const Row& row : rows_) {
        row.tags.reset();
    }
    if (!rows_.empty()) {
        Q_EMIT dataChanged(index(0, TagsColumn), index(int(rows_.size()) - 1, TagsColumn));
    }
}

QVariant LocalListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        static const char* const captions[ColumnCount] = {
            QT_TR_NOOP("Name"), QT_TR_NOOP("Type"), QT_TR_NOOP("Size"), QT_TR_NOOP("Item Name"),
            QT_TR_NOOP("Item Type"), QT_TR_NOOP("Tags")};
        return section >= 0 && section < ColumnCount ? tr(captions[section]) : QString();
    }
    if (role == Qt::TextAlignmentRole && section == SizeColumn) {
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}
