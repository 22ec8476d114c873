#include "versionsform.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

QString howWords(const versions::Version& version) {
    switch (version.how) {
        case versions::How::Fetched:
            return QCoreApplication::translate("TVersionsForm", "read from the keyboard");
        case versions::How::Sent:
            return QCoreApplication::translate("TVersionsForm", "sent");
        case versions::How::Emptied:
            return QCoreApplication::translate("TVersionsForm", "deleted");
    }
    return {};
}

TVersionsForm::TVersionsForm(const QString& subject, std::vector<versions::Version> found,
                             const std::optional<QString>& heldNow, SendVersion send,
                             QWidget* owner)
    : QDialog(owner), versions_(std::move(found)), send_(std::move(send)) {
    setObjectName("VersionsForm");
    setWindowTitle(tr("Versions of %1").arg(subject));
    auto* intro = new QLabel(
        tr("Every item NvbMan has seen in %1 or put there, newest first.").arg(subject));
    intro->setWordWrap(true);
    model_ = new QStandardItemModel(this);
    model_->setHorizontalHeaderLabels(
        {tr("When"), tr("Name"), tr("Size(byte)"), tr("How"), tr("From"), tr("Now"), tr("Slot")});
    bool nowMarked = false;
    for (const versions::Version& version : versions_) {
        // The newest version of the item the slot holds as last seen.
        const bool now = !nowMarked && heldNow && version.sha256 == *heldNow;
        nowMarked = nowMarked || now;
        QList<QStandardItem*> row;
        for (const QString& cell :
             {version.at.toLocalTime().toString("yyyy-MM-dd HH:mm:ss"),
              version.holdsItem() ? version.name : tr("(empty)"),
              version.holdsItem() ? QString::number(version.size) : QString(), howWords(version),
              version.source, now ? tr("on the keyboard now") : QString(),
              version.slot.text()}) {
            auto* item = new QStandardItem(cell);
            item->setEditable(false);
            row << item;
        }
        model_->appendRow(row);
    }
    view_ = new QTreeView;
    view_->setObjectName("VersionsView");
    view_->setAccessibleName(windowTitle());
    view_->setModel(model_);
    view_->setRootIsDecorated(false);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->header()->resizeSections(QHeaderView::ResizeToContents);
    sendBtn_ = new QPushButton(tr("&Send This Version"));
    sendBtn_->setObjectName("SendVersionBtn");
    sendBtn_->setAccessibleDescription(tr("Put the chosen version back into the slot"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setObjectName("CloseBtn");
    buttons->addButton(sendBtn_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(sendBtn_, &QPushButton::clicked, this, [this] {
        if (const auto chosen = selectedVersion()) {
            accept();
            send_(*chosen);
        }
    });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TVersionsForm::enableButtons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(view_, 1);
    layout->addWidget(buttons);
    resize(680, 360);
    enableButtons();
}

int TVersionsForm::rowCount() const {
    return model_->rowCount();
}

std::optional<versions::Version> TVersionsForm::selectedVersion() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.first().row() >= int(versions_.size())) {
        return std::nullopt;
    }
    return versions_[std::size_t(rows.first().row())];
}

void TVersionsForm::enableButtons() {
    const auto chosen = selectedVersion();
    // An emptied slot is no item to send; a deletion is what Delete does.
    sendBtn_->setEnabled(chosen && chosen->holdsItem());
}
