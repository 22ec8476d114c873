#include "kbddrivepropertyform.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "icons/paneicons.h"

TKbdDrivePropertyForm::TKbdDrivePropertyForm(QWidget* owner) : QDialog(owner) {
    setWindowTitle(tr("Properties"));
    auto* general = new QWidget;
    auto* icon = new QLabel;
    icon->setPixmap(PaneIcons::keyboard(kbdpane::AreaListed).pixmap(32, 32));
    nameLabel_ = new QLabel;
    nameLabel_->setObjectName("DrvNameLbl");
    usedLabel_ = new QLabel;
    freeLabel_ = new QLabel;
    capacityLabel_ = new QLabel;
    auto* form = new QFormLayout;
    const auto row = [&](const QString& caption, QLabel* value, const char* name) {
        value->setObjectName(name);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        auto* label = new QLabel(caption);
        label->setBuddy(value);
        // The value is what a screen reader reads (a label's name is its text); the caption is
        // its description and, as the buddy, its labelling relation.
        value->setAccessibleDescription(QString(caption).remove(':'));
        form->addRow(label, value);
    };
    row(tr("Used Space:"), usedLabel_, "UsedLbl");
    row(tr("Free Space:"), freeLabel_, "FreeLbl");
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    form->addRow(line);
    row(tr("Capacity:"), capacityLabel_, "CapacityLbl");
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(nameLabel_, 1);
    auto* page = new QVBoxLayout(general);
    page->addLayout(top);
    page->addLayout(form);
    page->addStretch();
    auto* tabs = new QTabWidget;
    tabs->addTab(general, tr("General"));
    auto* buttons = new QDialogButtonBox;
    QPushButton* close = buttons->addButton(tr("&Close"), QDialogButtonBox::RejectRole);
    close->setObjectName("BitBtn1");
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    resize(220, 240);
}

QString TKbdDrivePropertyForm::bytesText(std::int32_t bytes) {
    return tr("%1byte(s)").arg(static_cast<std::uint32_t>(bytes));
}

void TKbdDrivePropertyForm::SetName(const QString& name) {
    nameLabel_->setText(name);
}

void TKbdDrivePropertyForm::showUsed(std::int32_t bytes) {
    usedLabel_->setText(bytesText(bytes));
}

void TKbdDrivePropertyForm::showFree(std::int32_t bytes) {
    freeLabel_->setText(bytesText(bytes));
}

void TKbdDrivePropertyForm::showCapacity(std::int32_t bytes) {
    capacityLabel_->setText(bytesText(bytes));
}
