#include "ekdatapropertyform.h"

#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "data/datatypes.h"
#include "dialogs/dialogbuttons.h"
#include "dialogs/kbddrivepropertyform.h"
#include "icons/paneicons.h"
#include "kbddrv/itemkinds.h"

namespace {

QFrame* bevel() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

TEkDataPropertyForm::TEkDataPropertyForm(QWidget* owner) : QDialog(owner) {
    setWindowTitle(tr("Property"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint);
    auto* icon = new QLabel;
    icon->setObjectName("IconImage");
    icon->setPixmap(PaneIcons::keyboard(kbdpane::EmptySlot).pixmap(32, 32));
    fileNameLbl_ = new QLabel;
    fileNameLbl_->setObjectName("FileNameLbl");
    fileNameLbl_->setAccessibleDescription(tr("File name"));
    fileNameLbl_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    typeLbl_ = new QLabel;
    sizeLbl_ = new QLabel;
    locateLbl_ = new QLabel;
    nameEdit_ = new QLineEdit;
    nameEdit_->setObjectName("NameEdit");
    nameEdit_->setMaxLength(8);
    // The keyboard takes single-byte names only: no input method composes text here.
    nameEdit_->setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(nameEdit_, &QLineEdit::textChanged, this, &TEkDataPropertyForm::NameEditChange);

    auto* facts = new QFormLayout;
    const auto row = [&](const QString& caption, QLabel* value, const char* name) {
        value->setObjectName(name);
        value->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        // The value is what a screen reader reads (a label's name is its text); the caption is
        // its description and, as the buddy, its labelling relation.
        value->setAccessibleDescription(QString(caption).remove(':'));
        auto* label = new QLabel(caption);
        label->setBuddy(value);
        facts->addRow(label, value);
    };
    row(tr("Type:"), typeLbl_, "TypeLbl");
    row(tr("Size:"), sizeLbl_, "SizeLbl");
    row(tr("Location:"), locateLbl_, "LocateLbl");
    auto* nameForm = new QFormLayout;
    nameLbl_ = new QLabel(tr("&Name:"));
    nameLbl_->setObjectName("NameLbl");
    nameLbl_->setBuddy(nameEdit_);
    nameEdit_->setAccessibleName(tr("Name"));
    nameForm->addRow(nameLbl_, nameEdit_);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(fileNameLbl_, 1);
    auto* general = new QWidget;
    auto* page = new QVBoxLayout(general);
    page->addLayout(top);
    page->addWidget(bevel());
    page->addLayout(facts);
    page->addWidget(bevel());
    page->addLayout(nameForm);
    page->addStretch();
    auto* tabs = new QTabWidget;
    tabs->setObjectName("TabControl1");
    tabs->addTab(general, tr("General"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    buttons_ = okCancelButtons(this);
    layout->addWidget(buttons_);
    setFixedSize(407, 251);
}

void TEkDataPropertyForm::offerVersions(std::function<void()> show) {
    auto* versions = new QPushButton(tr("&Versions..."));
    versions->setObjectName("PropVersionsBtn");
    versions->setAccessibleDescription(tr("Every version of this item the program has seen"));
    buttons_->addButton(versions, QDialogButtonBox::ActionRole);
    connect(versions, &QPushButton::clicked, this, std::move(show));
}

QString TEkDataPropertyForm::typeWord(std::uint16_t type) {
    const mls850::ItemKind* kind = mls850::itemKindOf(type);
    return kind != nullptr ? tr(kind->propertyWord) : QString();
}

QString TEkDataPropertyForm::keyboardName(const QString& typed) {
    QString name = typed;
    for (QChar& c : name) {
        if (c.unicode() < 32 || c.unicode() > 125) {
            c = QLatin1Char('_');
        }
    }
    return name;
}

void TEkDataPropertyForm::NameEditChange(const QString& text) {
    const QString name = keyboardName(text);
    if (name != text) {
        const int caret = nameEdit_->cursorPosition();
        nameEdit_->setText(name);
        nameEdit_->setCursorPosition(caret);
    }
}

void TEkDataPropertyForm::showFileName(const QString& name) {
    fileNameLbl_->setText(name);
}

void TEkDataPropertyForm::showType(std::uint16_t type) {
    typeLbl_->setText(typeWord(type));
}

void TEkDataPropertyForm::showSize(std::uint32_t bytes) {
    sizeLbl_->setText(TKbdDrivePropertyForm::bytesText(std::int32_t(bytes)));
}

void TEkDataPropertyForm::showLocation(const QString& folder) {
    locateLbl_->setText(folder);
}

void TEkDataPropertyForm::SetName(const QString& name) {
    nameEdit_->setText(name);
}

QString TEkDataPropertyForm::enteredName() const {
    return nameEdit_->text();
}

void TEkDataPropertyForm::allowRename(bool allowed) {
    nameEdit_->setVisible(allowed);
    nameLbl_->setVisible(allowed);
}

bool TEkDataPropertyForm::execute() {
    accepted_ = exec() == QDialog::Accepted && !nameEdit_->text().isEmpty();
    return accepted_;
}
