#include "kbdpanemodel.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include "icons/paneicons.h"
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

QStandardItem* makeNode(const QString& text, int icon) {
    auto* node = new QStandardItem(text);
    node->setEditable(false);
    node->setData(icon, kbdpane::IconIndexRole);
    node->setIcon(PaneIcons::keyboard(icon));
    return node;
}

}  // namespace

KbdTreeModel::KbdTreeModel(QString modelName, QObject* parent)
    : QStandardItemModel(parent), modelName_(std::move(modelName)) {}

void KbdTreeModel::rebuild(const KeyboardPicture& picture) {
    clear();
    QStandardItem* root = makeNode(modelName_, kbdpane::KeyboardIcon);
    appendRow(root);
    for (const PictureArea& area : picture.areas()) {
        QStandardItem* node = makeNode(
            area.name + '\\', picture.isListed() ? kbdpane::AreaListed : kbdpane::AreaNotListed);
        root->appendRow(node);
        addSubfolders(picture, node);
    }
}

void KbdTreeModel::addSubfolders(const KeyboardPicture& picture, QStandardItem* node) {
    for (const PictureRow& row : picture.rowsOf(nodePath(node->index()))) {
        if (row.isFolder) {
            QStandardItem* child = makeNode(
                row.caption, row.listed ? kbdpane::FolderListed : kbdpane::FolderNotListed);
            node->appendRow(child);
            addSubfolders(picture, child);
        }
    }
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

bool KbdTreeModel::isArea(const QModelIndex& node) const {
    return node.isValid() && node.parent() == root();
}

KbdListModel::KbdListModel(const MsgStr& messages, QObject* parent)
    : QStandardItemModel(0, ColumnCount, parent), messages_(messages) {
    setHorizontalHeaderLabels({tr("Name"), tr("Type"), tr("Size(byte)"), tr("On PC"), tr("Tags")});
    setHeaderData(SizeColumn, Qt::Horizontal, int(Qt::AlignRight | Qt::AlignVCenter),
                  Qt::TextAlignmentRole);
}

void KbdListModel::clearRows() {
    removeRows(0, rowCount());
    shown_.clear();
    listedPath_.clear();
}

void KbdListModel::list(const KeyboardPicture& picture, const QString& path) {
    const std::vector<PictureRow>& rows = picture.rowsOf(path);
    // The same folder again (after a command): its rows are updated in place, so the user's
    // selection and current row stay where they were.
    const bool inPlace = path == listedPath_ && std::size_t(rowCount()) == rows.size();
    if (!inPlace) {
        clearRows();
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const PictureRow& row = rows[i];
        if (!inPlace) {
            QList<QStandardItem*> cells;
            for (int column = 0; column < ColumnCount; ++column) {
                auto* cell = new QStandardItem;
                cell->setEditable(false);
                cells << cell;
            }
            cells[SizeColumn]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            shown_.push_back(row);
            appendRow(cells);
        }
        shown_[i] = row;
        showRow(int(i));
    }
    listedPath_ = path;
}

void KbdListModel::showRow(int row) {
    const PictureRow& shown = shown_[std::size_t(row)];
    QString type;
    QString size;
    int icon = kbdpane::EmptySlot;
    if (shown.isFolder) {
        type = messages_.folderText();
        icon = shown.listed ? kbdpane::FolderListed : kbdpane::FolderNotListed;
    } else if (shown.view.holdsItem) {
        type = kbdpane::typeWord(shown.view.type);
        size = QString::number(shown.view.size);
        icon = kbdpane::typeIcon(shown.view.type);
    }
    QStandardItem* name = item(row, NameColumn);
    name->setText(shown.caption);
    name->setData(icon, kbdpane::IconIndexRole);
    name->setIcon(PaneIcons::keyboard(icon));
    item(row, TypeColumn)->setText(type);
    item(row, SizeColumn)->setText(size);
    showOnPc(row);
    showTags(row);
}

void KbdListModel::refreshTags() {
    for (int row = 0; row < rowCount(); ++row) {
        showTags(row);
    }
}

void KbdListModel::showTags(int row) {
    const PictureRow& shown = shown_[std::size_t(row)];
    item(row, TagsColumn)->setText(shown.view.holdsItem ? tagsText(shown.view) : QString());
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
        found = onPc_(shown_[std::size_t(row)].view);
    }
    const auto [text, tip] = onPcCell(found);
    cell->setText(text);
    cell->setToolTip(tip);
    cell->setData(found.state == library::OnPc::Yes ? found.files.front().path : QString(),
                  kbdpane::OnPcFileRole);
}

QString KbdListModel::onPcText(const library::SlotView& slot) const {
    return onPc_ ? onPcCell(onPc_(slot)).first : QString();
}

std::pair<QString, QString> KbdListModel::onPcCell(const library::SlotOnPc& found) {
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
    return {text, tip};
}

const PictureRow* KbdListModel::rowAt(const QModelIndex& row) const {
    if (!row.isValid() || row.model() != this || std::size_t(row.row()) >= shown_.size()) {
        return nullptr;
    }
    return &shown_[std::size_t(row.row())];
}
