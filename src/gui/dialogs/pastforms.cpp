#include "pastforms.h"

#include <QDateTimeEdit>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

constexpr const char* kTimeFormat = "yyyy-MM-dd HH:mm";

QDateTimeEdit* timeEdit(const QDateTime& shown, const char* name) {
    auto* edit = new QDateTimeEdit(shown.toLocalTime());
    edit->setObjectName(name);
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(kTimeFormat);
    return edit;
}

QString changeWords(versions::Change change) {
    switch (change) {
        case versions::Change::Added:
            return QCoreApplication::translate("TChangesForm", "added");
        case versions::Change::Changed:
            return QCoreApplication::translate("TChangesForm", "changed");
        case versions::Change::Removed:
            return QCoreApplication::translate("TChangesForm", "removed");
        case versions::Change::Unknown:
            break;
    }
    return QCoreApplication::translate("TChangesForm", "not known before");
}

}  // namespace

TAsOfForm::TAsOfForm(const QDateTime& suggested, QWidget* owner) : QDialog(owner) {
    setObjectName("AsOfForm");
    setWindowTitle(tr("Restore Keyboard As Of"));
    auto* intro = new QLabel(
        tr("NvbMan puts back what the keyboard held then, as far as it has seen it. Slots it "
           "knew nothing of then stay as they are; what each slot holds now is kept first, and "
           "Undo takes it all back."));
    intro->setWordWrap(true);
    whenEdit_ = timeEdit(suggested, "AsOfEdit");
    whenEdit_->setAccessibleDescription(tr("The date and time whose keyboard to put back"));
    auto* fields = new QFormLayout;
    auto* label = new QLabel(tr("&When:"));
    label->setBuddy(whenEdit_);
    fields->addRow(label, whenEdit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("OkBtn");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("CancelBtn");
    auto* backupBtn = new QPushButton(tr("&Backup..."));
    backupBtn->setObjectName("AsOfBackupBtn");
    backupBtn->setAccessibleDescription(tr("Put back the keyboard as a backup saved it"));
    buttons->addButton(backupBtn, QDialogButtonBox::ActionRole);
    connect(backupBtn, &QPushButton::clicked, this, [this] {
        backupFolder_ = QFileDialog::getExistingDirectory(this, windowTitle());
        if (!backupFolder_.isEmpty()) {
            accept();
        }
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(fields);
    layout->addWidget(buttons);
}

QDateTime TAsOfForm::when() const {
    // To the end of the minute shown: what the keyboard held as that minute ended.
    return whenEdit_->dateTime().addSecs(60).addMSecs(-1).toUTC();
}

TChangesForm::TChangesForm(const QDateTime& since, Changes changes, QWidget* owner)
    : QDialog(owner), changes_(std::move(changes)) {
    setObjectName("ChangesForm");
    setWindowTitle(tr("What Changed"));
    sinceEdit_ = timeEdit(since, "SinceEdit");
    sinceEdit_->setAccessibleDescription(tr("List what changed after this date and time"));
    untilEdit_ = timeEdit(QDateTime::currentDateTime(), "UntilEdit");
    untilEdit_->setAccessibleDescription(tr("List what changed up to this date and time"));
    auto* fields = new QFormLayout;
    auto* label = new QLabel(tr("&Since:"));
    label->setBuddy(sinceEdit_);
    fields->addRow(label, sinceEdit_);
    auto* untilLabel = new QLabel(tr("&Until:"));
    untilLabel->setBuddy(untilEdit_);
    fields->addRow(untilLabel, untilEdit_);
    model_ = new QStandardItemModel(this);
    view_ = new QTreeView;
    view_->setObjectName("ChangesView");
    view_->setAccessibleName(windowTitle());
    view_->setModel(model_);
    view_->setRootIsDecorated(false);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    summary_ = new QLabel;
    summary_->setObjectName("ChangesSummary");
    versionsBtn_ = new QPushButton(tr("&Versions..."));
    versionsBtn_->setObjectName("ChangesVersionsBtn");
    versionsBtn_->setAccessibleDescription(tr("Every version of the chosen slot"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setObjectName("CloseBtn");
    buttons->addButton(versionsBtn_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(versionsBtn_, &QPushButton::clicked, this, [this] {
        const QModelIndex row = view_->currentIndex();
        if (row.isValid() && row.row() < int(listed_.size())) {
            Q_EMIT versionsRequested(listed_[std::size_t(row.row())].slot);
        }
    });
    connect(view_, &QTreeView::activated, versionsBtn_, &QPushButton::click);
    connect(sinceEdit_, &QDateTimeEdit::dateTimeChanged, this, &TChangesForm::listChanges);
    connect(untilEdit_, &QDateTimeEdit::dateTimeChanged, this, &TChangesForm::listChanges);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(view_, 1);
    layout->addWidget(summary_);
    layout->addWidget(buttons);
    resize(600, 380);
    listChanges();
}

int TChangesForm::rowCount() const {
    return model_->rowCount();
}

void TChangesForm::listChanges() {
    model_->clear();
    model_->setHorizontalHeaderLabels({tr("Slot"), tr("Change"), tr("Before"), tr("Now")});
    // The minute shown for "until" counts whole: what changed during it is listed.
    listed_ = changes_(sinceEdit_->dateTime().toUTC(),
                       untilEdit_->dateTime().addSecs(60).addMSecs(-1).toUTC());
    for (const versions::SlotChangeSince& change : listed_) {
        const QString before =
            change.before && change.before->holdsItem() ? change.before->name : QString();
        const QString after = change.after.holdsItem() ? change.after.name : QString();
        QList<QStandardItem*> row;
        for (const QString& cell : {change.slot.text(), changeWords(change.change), before, after}) {
            row << new QStandardItem(cell);
        }
        model_->appendRow(row);
    }
    view_->header()->resizeSections(QHeaderView::ResizeToContents);
    summary_->setText(tr("%n slot(s) changed", nullptr, int(listed_.size())));
    versionsBtn_->setEnabled(!listed_.empty());
    if (!listed_.empty()) {
        view_->setCurrentIndex(model_->index(0, 0));
    }
}
