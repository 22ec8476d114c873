#include "prefform.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>

#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include "dialogs/dialogbuttons.h"

#include "dialogs/dirbrowseform.h"
#include "kbddrv/keyboardprobe.h"
#include "msg/errortext.h"
#include "msg/msgstr.h"
#include "platform/midiservice.h"
#include "platform/settingsstore.h"

namespace {

// Marks the entry of a stored device that is not connected now.
constexpr int kMissingRole = Qt::UserRole + 1;

QComboBox* deviceBox(const QStringList& names, const char* objectName, const QString& accessible) {
    auto* box = new QComboBox;
    box->setObjectName(objectName);
    box->setAccessibleName(accessible);
    box->addItems(names);
    return box;
}

}  // namespace

TPrefForm::TPrefForm(QWidget* owner) : QDialog(owner) {
    setWindowTitle(tr("Preference"));
    auto& service = platform::MidiService::instance();
    inputBox_ = deviceBox(service.inputDevices(), "MidiInDevBox", tr("Input Device"));
    outputBox_ = deviceBox(service.outputDevices(), "MidiOutDevBox", tr("Output Device"));
    auto* midi = new QWidget;
    auto* midiForm = new QFormLayout(midi);
    auto* inputLabel = new QLabel(tr("Input Device"));
    inputLabel->setBuddy(inputBox_);
    auto* outputLabel = new QLabel(tr("Output Device"));
    outputLabel->setBuddy(outputBox_);
    midiForm->addRow(inputLabel);
    midiForm->addRow(inputBox_);
    midiForm->addRow(outputLabel);
    midiForm->addRow(outputBox_);
    testButton_ = new QPushButton(tr("&Test"));
    testButton_->setObjectName("TestConnectionBtn");
    testButton_->setAccessibleDescription(tr("Ask the chosen devices whether an MLS-850 answers"));
    findButton_ = new QPushButton(tr("&Find"));
    findButton_->setObjectName("FindKeyboardBtn");
    findButton_->setAccessibleDescription(
        tr("Try every pair of devices and choose the first an MLS-850 answers on"));
    probeResult_ = new QLabel;
    probeResult_->setObjectName("ProbeResultLabel");
    probeResult_->setAccessibleDescription(tr("Connection test result"));
    probeResult_->setWordWrap(true);
    connect(testButton_, &QPushButton::clicked, this, &TPrefForm::testConnection);
    connect(findButton_, &QPushButton::clicked, this, &TPrefForm::findKeyboard);
    auto* probeRow = new QHBoxLayout;
    probeRow->addWidget(testButton_);
    probeRow->addWidget(findButton_);
    probeRow->addWidget(probeResult_, 1);
    midiForm->addRow(probeRow);
    // Not one of the three stored values of old: the safety net of Send and Delete.
    keepCopiesBox_ = new QCheckBox(tr("&Keep a copy of what Send and Delete replace"));
    keepCopiesBox_->setObjectName("KeepCopiesBox");
    keepCopiesBox_->setChecked(true);
    midiForm->addRow(keepCopiesBox_);
    verifyAfterSendingBox_ = new QCheckBox(tr("&Verify after sending"));
    verifyAfterSendingBox_->setObjectName("VerifyAfterSendingBox");
    verifyAfterSendingBox_->setAccessibleDescription(
        tr("Fetch the slot again after a send and compare it with the file"));
    midiForm->addRow(verifyAfterSendingBox_);
    // PipeWire runs its graph at 1,024 frames unless a client asks for less: every request to
    // the keyboard would then wait two such periods.
    pipeWirePeriodBox_ = new QSpinBox;
    pipeWirePeriodBox_->setObjectName("PipeWirePeriodBox");
    pipeWirePeriodBox_->setRange(0, platform::kMaxPipeWirePeriod);
    pipeWirePeriodBox_->setSpecialValueText(tr("the server's own"));
    pipeWirePeriodBox_->setSuffix(tr(" frames"));
    pipeWirePeriodBox_->setAccessibleName(tr("PipeWire period"));
    pipeWirePeriodBox_->setAccessibleDescription(
        tr("The period NvbMan asks of PipeWire while it talks to the keyboard, in frames at "
           "48 kHz; 0 asks nothing"));
    midiForm->addRow(tr("PipeWire &period:"), pipeWirePeriodBox_);

    directoryEdit_ = new QLineEdit;
    directoryEdit_->setObjectName("DefDirEdit");
    directoryEdit_->setAccessibleName(tr("Default folder"));
    auto* browse = new QPushButton(tr("Browse..."));
    browse->setObjectName("DirBrowseBtn");
    connect(browse, &QPushButton::clicked, this, &TPrefForm::browse);
    auto* dirs = new QWidget;
    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(directoryEdit_, 1);
    dirRow->addWidget(browse);
    auto* dirLayout = new QVBoxLayout(dirs);
    dirLayout->addLayout(dirRow);
    // The library: the folders whose ".nvb" and ".syx" files it keeps, for the keyboard list's
    // "On PC" column and the Library window.
    libraryList_ = new QListWidget;
    libraryList_->setObjectName("LibraryFolderList");
    auto* libraryLabel = new QLabel(tr("&Library folders (none: the default folder)"));
    libraryLabel->setBuddy(libraryList_);
    auto* add = new QPushButton(tr("&Add..."));
    add->setObjectName("AddLibraryFolderBtn");
    add->setAccessibleDescription(tr("Add a folder to the library"));
    auto* remove = new QPushButton(tr("Re&move"));
    remove->setObjectName("RemoveLibraryFolderBtn");
    remove->setAccessibleDescription(tr("Remove the selected folder from the library"));
    connect(add, &QPushButton::clicked, this, &TPrefForm::addLibraryFolder);
    connect(remove, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem* current = libraryList_->currentItem()) {
            delete current;
        }
    });
    auto* libraryButtons = new QVBoxLayout;
    libraryButtons->addWidget(add);
    libraryButtons->addWidget(remove);
    libraryButtons->addStretch();
    auto* libraryRow = new QHBoxLayout;
    libraryRow->addWidget(libraryList_, 1);
    libraryRow->addLayout(libraryButtons);
    dirLayout->addWidget(libraryLabel);
    dirLayout->addLayout(libraryRow, 1);
    // The keyboard's past: how long its versions are kept, and what they take.
    versionsKeepBox_ = new QSpinBox;
    versionsKeepBox_->setObjectName("VersionsKeepBox");
    versionsKeepBox_->setRange(0, platform::kMaxVersionsKeepDays);
    versionsKeepBox_->setSpecialValueText(tr("never"));
    versionsKeepBox_->setSuffix(tr(" days"));
    versionsKeepBox_->setAccessibleName(tr("Forget versions older than"));
    versionsKeepBox_->setAccessibleDescription(
        tr("The newest version of each item in a slot is always kept"));
    auto* versionsLabel = new QLabel(tr("Forget &versions older than:"));
    versionsLabel->setBuddy(versionsKeepBox_);
    versionsSize_ = new QLabel;
    versionsSize_->setObjectName("VersionsSizeLabel");
    versionsSize_->setWordWrap(true);
    auto* versionsRow = new QHBoxLayout;
    versionsRow->addWidget(versionsLabel);
    versionsRow->addWidget(versionsKeepBox_);
    versionsRow->addStretch();
    dirLayout->addLayout(versionsRow);
    dirLayout->addWidget(versionsSize_);

    auto* pages = new QTabWidget;
    pages->setObjectName("PageControl");
    pages->addTab(midi, tr("MIDI"));
    pages->addTab(dirs, tr("Directories"));
    QDialogButtonBox* buttons = okCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addWidget(buttons);
    resize(443, 209);
}

void TPrefForm::select(QComboBox* box, int device, const QString& name) {
    // Drop a "not connected" entry of an earlier value.
    for (int i = box->count() - 1; i >= 0; --i) {
        if (box->itemData(i, kMissingRole).toBool()) {
            box->removeItem(i);
        }
    }
    if (!name.isEmpty() && box->itemText(device) != name) {
        const int found = box->findText(name, Qt::MatchExactly);
        if (found >= 0) {
            box->setCurrentIndex(found);
            return;
        }
        box->addItem(tr("%1 (not connected)").arg(name));
        box->setItemData(box->count() - 1, true, kMissingRole);
        box->setCurrentIndex(box->count() - 1);
        return;
    }
    box->setCurrentIndex(device >= 0 && device < box->count() ? device : -1);
}

void TPrefForm::take(const QComboBox* box, int& device, QString& name) {
    const int index = box->currentIndex();
    if (index >= 0 && box->itemData(index, kMissingRole).toBool()) {
        return;  // the stored device stays chosen
    }
    device = index;
    name = index >= 0 ? box->itemText(index) : QString();
}

void TPrefForm::setInputDevice(int device, const QString& name) {
    inputDevice_ = device;
    inputName_ = name;
    showValues();
}

void TPrefForm::setOutputDevice(int device, const QString& name) {
    outputDevice_ = device;
    outputName_ = name;
    showValues();
}

void TPrefForm::setDefaultDirectory(const QString& folder) {
    defaultDirectory_ = folder;
    directoryEdit_->setText(folder);
}

void TPrefForm::setKeepCopies(bool keep) {
    keepCopies_ = keep;
    keepCopiesBox_->setChecked(keep);
}

void TPrefForm::setPipeWirePeriod(int frames) {
    pipeWirePeriod_ = frames;
    pipeWirePeriodBox_->setValue(frames);
}

void TPrefForm::setVerifyAfterSending(bool verify) {
    verifyAfterSending_ = verify;
    verifyAfterSendingBox_->setChecked(verify);
}

void TPrefForm::setVersionsKeepDays(int days) {
    versionsKeepDays_ = days;
    versionsKeepBox_->setValue(days);
}

void TPrefForm::showVersionsSize(const QString& text) {
    versionsSize_->setText(text);
}

void TPrefForm::showValues() {
    select(inputBox_, inputDevice_, inputName_);
    select(outputBox_, outputDevice_, outputName_);
}

void TPrefForm::accept() {
    take(inputBox_, inputDevice_, inputName_);
    take(outputBox_, outputDevice_, outputName_);
    defaultDirectory_ = directoryEdit_->text();
    keepCopies_ = keepCopiesBox_->isChecked();
    verifyAfterSending_ = verifyAfterSendingBox_->isChecked();
    pipeWirePeriod_ = pipeWirePeriodBox_->value();
    versionsKeepDays_ = versionsKeepBox_->value();
    libraryFolders_.clear();
    for (int row = 0; row < libraryList_->count(); ++row) {
        libraryFolders_ << libraryList_->item(row)->text();
    }
    QDialog::accept();
}

void TPrefForm::reject() {
    showValues();
    directoryEdit_->setText(defaultDirectory_);
    keepCopiesBox_->setChecked(keepCopies_);
    verifyAfterSendingBox_->setChecked(verifyAfterSending_);
    pipeWirePeriodBox_->setValue(pipeWirePeriod_);
    showLibraryFolders();
    QDialog::reject();
}

void TPrefForm::setProbing(bool probing) {
    testButton_->setEnabled(!probing);
    findButton_->setEnabled(!probing);
    if (probing) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

QString TPrefForm::resultText(const probe::Result& result) const {
    switch (result.answer) {
        case probe::Answer::Mls850:
            return tr("MLS-850 found");
        case probe::Answer::OtherKind:
            return tr("another kind of keyboard (kind %1)").arg(result.kind);
        case probe::Answer::NoAnswer:
            return tr("no answer");
        case probe::Answer::Unreadable:
            return tr("an answer that could not be read");
        case probe::Answer::DeviceError:
            break;
    }
    try {
        std::rethrow_exception(result.failure);
    } catch (...) {
        return currentErrorText(MsgStr());
    }
}

void TPrefForm::testConnection() {
    const int input = inputBox_->currentIndex();
    const int output = outputBox_->currentIndex();
    if (input < 0 || output < 0 || inputBox_->itemData(input, kMissingRole).toBool() ||
        outputBox_->itemData(output, kMissingRole).toBool()) {
        probeResult_->setText(tr("Choose a connected input and output device first."));
        return;
    }
    probeResult_->setText(tr("Testing..."));
    setProbing(true);
    const probe::Result result = probe::testPair(input, output);
    setProbing(false);
    probeResult_->setText(resultText(result));
}

void TPrefForm::findKeyboard() {
    QStringList inputs;
    QStringList outputs;
    for (int i = 0; i < inputBox_->count(); ++i) {
        inputs << (inputBox_->itemData(i, kMissingRole).toBool() ? QString()
                                                                 : inputBox_->itemText(i));
    }
    for (int i = 0; i < outputBox_->count(); ++i) {
        outputs << (outputBox_->itemData(i, kMissingRole).toBool() ? QString()
                                                                   : outputBox_->itemText(i));
    }
    setProbing(true);
    const auto found = probe::findKeyboard(
        inputs, outputs, platform::MidiService::instance().builtInName(),
        [&](const probe::Pair& pair) {
            probeResult_->setText(
                tr("Trying %1 with %2...").arg(inputs[pair.input], outputs[pair.output]));
            probeResult_->repaint();
        });
    setProbing(false);
    if (!found) {
        probeResult_->setText(tr("No MLS-850 answered on any pair of MIDI devices."));
        return;
    }
    inputBox_->setCurrentIndex(found->input);
    outputBox_->setCurrentIndex(found->output);
    probeResult_->setText(tr("MLS-850 found"));
}

void TPrefForm::setLibraryFolders(const QStringList& folders) {
    libraryFolders_ = folders;
    showLibraryFolders();
}

void TPrefForm::showLibraryFolders() {
    libraryList_->clear();
    libraryList_->addItems(libraryFolders_);
}

void TPrefForm::addLibraryFolder() {
    TDirBrowseForm chooser(this);
    chooser.setInitialFolder(directoryEdit_->text());
    if (chooser.exec() != QDialog::Accepted || chooser.resultFolder().isEmpty()) {
        return;
    }
    const QString folder = QDir::toNativeSeparators(QDir::cleanPath(chooser.resultFolder()));
    if (libraryList_->findItems(folder, Qt::MatchExactly).isEmpty()) {
        libraryList_->addItem(folder);
    }
}

void TPrefForm::browse() {
    TDirBrowseForm chooser(this);
    chooser.setInitialFolder(directoryEdit_->text());
    chooser.exec();
    directoryEdit_->setText(chooser.resultFolder());
}
