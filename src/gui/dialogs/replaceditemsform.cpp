#include "replaceditemsform.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "data/datatypes.h"
#include "dialogs/ekdatapropertyform.h"
#include "platform/systemerror.h"
#include "stream/nvbtransfer.h"

TReplacedItemsForm::TReplacedItemsForm(safety::Store& store, PutBack putBack, QWidget* owner)
    : QDialog(owner), store_(store), putBack_(std::move(putBack)) {
    setWindowTitle(tr("Replaced Items"));
    setObjectName("ReplacedItemsForm");
    model_ = new QStandardItemModel(this);
    view_ = new QTreeView;
    view_->setObjectName("ReplacedView");
    view_->setAccessibleName(windowTitle());
    view_->setModel(model_);
    view_->setRootIsDecorated(false);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    putBackBtn_ = new QPushButton(tr("&Put Back"));
    putBackBtn_->setObjectName("PutBackBtn");
    saveAsBtn_ = new QPushButton(tr("&Save As..."));
    saveAsBtn_->setObjectName("SaveAsBtn");
    deleteBtn_ = new QPushButton(tr("&Delete"));
    deleteBtn_->setObjectName("DeleteBtn");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->addButton(putBackBtn_, QDialogButtonBox::ActionRole);
    buttons->addButton(saveAsBtn_, QDialogButtonBox::ActionRole);
    buttons->addButton(deleteBtn_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(putBackBtn_, &QPushButton::clicked, this, &TReplacedItemsForm::putBackSelected);
    connect(deleteBtn_, &QPushButton::clicked, this, &TReplacedItemsForm::deleteSelected);
    connect(saveAsBtn_, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, saveAsBtn_->text());
        if (!folder.isEmpty()) {
            saveInto(folder);
        }
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addWidget(buttons);
    resize(600, 320);
    refresh();
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TReplacedItemsForm::enableButtons);
    enableButtons();
}

void TReplacedItemsForm::refresh() {
    model_->clear();
    model_->setHorizontalHeaderLabels(
        {tr("When"), tr("Slot"), tr("Name"), tr("Type"), tr("Size(byte)"), tr("Why")});
    try {
        copies_ = store_.copies();
    } catch (const platform::SystemError& e) {
        copies_.clear();
        showError(QString::fromStdString(e.what()));
    }
    for (const safety::Copy& copy : copies_) {
        const QString why = whyText(copy);
        QList<QStandardItem*> row;
        for (const QString& cell :
             {copy.time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss"), copy.slot.text(), copy.name,
              TEkDataPropertyForm::typeWord(copy.type), QString::number(copy.size), why}) {
            row << new QStandardItem(cell);
        }
        model_->appendRow(row);
    }
    view_->header()->resizeSections(QHeaderView::ResizeToContents);
    enableButtons();
}

std::optional<safety::Copy> TReplacedItemsForm::selectedCopy() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.first().row() >= int(copies_.size())) {
        return std::nullopt;
    }
    return copies_[std::size_t(rows.first().row())];
}

void TReplacedItemsForm::enableButtons() {
    const bool chosen = selectedCopy().has_value();
    for (QPushButton* button : {putBackBtn_, saveAsBtn_, deleteBtn_}) {
        button->setEnabled(chosen);
    }
}

void TReplacedItemsForm::putBackSelected() {
    const auto copy = selectedCopy();
    if (copy) {
        // The list shows the copy the put-back keeps of what it replaced, once it is made.
        putBack_(*copy, [self = QPointer(this)] {
            if (self != nullptr) {
                self->refresh();
            }
        });
    }
}

void TReplacedItemsForm::saveInto(const QString& folder) {
    const auto copy = selectedCopy();
    if (!copy) {
        return;
    }
    // Named as an import names it, so the file reads as the item it is.
    const QString target = QDir(folder).filePath(
        transfer::importFileName(copy->type, copy->name.toLatin1().toStdString()));
    if (QFile::exists(target)) {
        showError(
            tr("\"%1\" exists already; nothing was saved.").arg(QDir::toNativeSeparators(target)));
        return;
    }
    if (!QFile::copy(store_.filePath(*copy), target)) {
        showError(
            tr("The copy could not be saved as \"%1\".").arg(QDir::toNativeSeparators(target)));
    }
}

void TReplacedItemsForm::deleteSelected() {
    const auto copy = selectedCopy();
    if (!copy) {
        return;
    }
    if (QMessageBox::question(
            this, windowTitle(),
            tr("Forget the kept copy of \"%1\"? Its file is deleted.").arg(copy->name)) !=
        QMessageBox::Yes) {
        return;
    }
    try {
        store_.remove(copy->id);
    } catch (const platform::SystemError& e) {
        showError(QString::fromStdString(e.what()));
    }
    refresh();
}

QString TReplacedItemsForm::whyText(const safety::Copy& copy) {
    switch (copy.why) {
        case safety::Why::Delete:
            return tr("deleted");
        case safety::Why::Edit:
            return tr("replaced by a copy, move, swap or rename");
        case safety::Why::Undo:
            return tr("replaced by an undo or a redo");
        case safety::Why::Send:
        case safety::Why::Restore:
            break;
    }
    return tr("replaced by %1").arg(QFileInfo(copy.replacedBy).fileName());
}

void TReplacedItemsForm::showError(const QString& text) {
    QMessageBox::critical(this, windowTitle(), text);
}
