#include "kbdpanemodel.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include "data/ekdata.h"
#include "data/ekdatadrive.h"
#include "icons/paneicons.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/itemkinds.h"
#include "kbddrv/mls850layout.h"
#include "msg/msgstr.h"
#include "stream/nvbtransfer.h"

namespace kbdpane {

bool deleteAllowed(const QString& nodeText, bool listFetched) {
    return listFetched && (nodeText == QLatin1String(mls850::kSongFolder) ||
                           nodeText == QLatin1String(mls850::kRhythmFolder));
}

}  // namespace kbdpane

namespace {

QStandardItem* makeNode(const QString& text, EkData* object, int icon) {
    auto* node = new QStandardItem(text);
    node->setEditable(false);
    node->setData(QVariant::fromValue(object), kbdpane::DataObjectRole);
    node->setData(icon, kbdpane::IconIndexRole);
    node->setIcon(PaneIcons::keyboard(icon));
    return node;
}

}  // namespace

KbdTreeModel::KbdTreeModel(EkKbdDrv& driver, QString modelName, QObject* parent)
    : QStandardItemModel(parent), driver_(driver), modelName_(std::move(modelName)) {
    rebuild();
}

void KbdTreeModel::rebuild() {
    clear();
    QStandardItem* root = makeNode(modelName_, nullptr, kbdpane::KeyboardIcon);
    appendRow(root);
    for (int i = 0; i < driver_.areaCount(); ++i) {
        const std::string name = driver_.areaName(i);
        EkDataDrive* area = driver_.findArea(name);
        QStandardItem* node =
            makeNode(transfer::keyboardText(name) + '\\', area,
                     driver_.isConnected() ? kbdpane::AreaListed : kbdpane::AreaNotListed);
        root->appendRow(node);
        addSubfolders(node);
    }
}

void KbdTreeModel::addSubfolders(QStandardItem* node) {
    const std::string path = nodePath(node->index()).toStdString();
    EkData* item = nullptr;
    if (!driver_.openDirectory(path, walk::kFolders, item)) {
        return;
    }
    do {
        if (item != nullptr && item->isDirectory()) {
            QStandardItem* child =
                makeNode(transfer::keyboardText(item->name()), item,
                         item->isPresent() ? kbdpane::FolderListed : kbdpane::FolderNotListed);
            node->appendRow(child);
            if (driver_.hasSubdirectories(path + item->name())) {
                addSubfolders(child);  // the driver's cursor nests
            }
        }
    } while (driver_.nextItem(item));
    driver_.closeDirectory();
}

QString KbdTreeModel::nodePath(const QModelIndex& node) const {
    QString path = node.data().toString();
    for (QModelIndex up = node.parent(); up.isValid(); up = up.parent()) {
        QString text = up.data().toString();
        if (!text.endsWith('\\')) {
            text += '\\';
        }
        path.prepend(text);
    }
    if (path.startsWith(modelName_)) {
        path.remove(0, modelName_.size() + 1);
    }
    if (!path.endsWith('\\')) {
        path += '\\';
    }
    return path;
}

QModelIndex KbdTreeModel::childNamed(const QModelIndex& node, const QString& text) const {
    for (int row = 0; row < rowCount(node); ++row) {
        const QModelIndex child = index(row, 0, node);
        if (child.data().toString() == text) {
            return child;
        }
    }
    return {};
}

EkData* KbdTreeModel::dataObject(const QModelIndex& node) {
    return node.data(kbdpane::DataObjectRole).value<EkData*>();
}

KbdListModel::KbdListModel(EkKbdDrv& driver, const MsgStr& messages, QObject* parent)
    : QStandardItemModel(0, ColumnCount, parent), driver_(driver), messages_(messages) {
    setHorizontalHeaderLabels({tr("Name"), tr("Type"), tr("Size(byte)"), tr("On PC")});
    setHeaderData(SizeColumn, Qt::Horizontal, int(Qt::AlignRight | Qt::AlignVCenter),
                  Qt::TextAlignmentRole);
}

void KbdListModel::clearRows() {
    removeRows(0, rowCount());
    shown_.clear();
}

void KbdListModel::list(const QString& path) {
    clearRows();
    EkData* item = nullptr;
    if (!driver_.openDirectory(path.toStdString(), walk::kFoldersAndSlots, item)) {
        return;
    }
    do {
        if (item == nullptr) {
            continue;
        }
        auto* name = new QStandardItem(transfer::keyboardText(item->name()));
        auto* type = new QStandardItem;
        auto* size = new QStandardItem;
        int icon = kbdpane::EmptySlot;
        if (item->isDirectory()) {
            type->setText(messages_.folderText());
            icon = item->isPresent() ? kbdpane::FolderListed : kbdpane::FolderNotListed;
        } else if (item->isPresent()) {
            type->setText(kbdpane::typeWord(item->type()));
            size->setText(QString::number(item->size()));
            icon = kbdpane::typeIcon(item->type());
        }
        size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        name->setData(QVariant::fromValue(item), kbdpane::DataObjectRole);
        name->setData(icon, kbdpane::IconIndexRole);
        name->setIcon(PaneIcons::keyboard(icon));
        auto* onPc = new QStandardItem;
        for (QStandardItem* cell : {name, type, size, onPc}) {
            cell->setEditable(false);
        }
        shown_.push_back(view_ ? view_(*item) : library::SlotView{});
        appendRow({name, type, size, onPc});
        showOnPc(rowCount() - 1);
    } while (driver_.nextItem(item));
    driver_.closeDirectory();
}

void KbdListModel::refreshOnPc() {
    for (int row = 0; row < rowCount(); ++row) {
        showOnPc(row);
    }
}

void KbdListModel::showOnPc(int row) {
    QStandardItem* cell = item(row, OnPcColumn);
    library::SlotOnPc found;
    if (onPc_ && std::size_t(row) < shown_.size()) {
        found = onPc_(shown_[std::size_t(row)]);
    }
    QStringList paths;
    for (const library::Entry& entry : found.files) {
        paths << QDir::toNativeSeparators(entry.path);
    }
    QString text;
    QString tip;
    switch (found.state) {
        case library::OnPc::Empty:
            break;
        case library::OnPc::Yes:
            text = paths.size() == 1 ? tr("Yes: %1").arg(QFileInfo(paths.first()).fileName())
                                     : tr("Yes: %1 and %n more", nullptr, int(paths.size()) - 1)
                                           .arg(QFileInfo(paths.first()).fileName());
            tip = tr("This very item is in:") + '\n' + paths.join('\n');
            break;
        case library::OnPc::No:
            text = tr("No");
            tip = tr("No file in the library holds this item.");
            break;
        case library::OnPc::NotChecked:
            text = tr("Not checked");
            tip =
                tr("Files hold items of this type and size; Check On PC fetches the item to "
                   "compare.");
            if (!paths.isEmpty()) {
                tip += '\n' + tr("Of the same name:") + '\n' + paths.join('\n');
            }
            break;
    }
    if (found.seenAt.isValid()) {
        tip += '\n' + tr("As the item was when last fetched or sent, at %1.")
                          .arg(QLocale().toString(found.seenAt, QLocale::ShortFormat));
    }
    cell->setText(text);
    cell->setToolTip(tip);
    cell->setData(found.state == library::OnPc::Yes ? found.files.front().path : QString(),
                  kbdpane::OnPcFileRole);
}

EkData* KbdListModel::dataObject(const QModelIndex& row) {
    const QModelIndex first = row.sibling(row.row(), 0);
    return first.data(kbdpane::DataObjectRole).value<EkData*>();
}
