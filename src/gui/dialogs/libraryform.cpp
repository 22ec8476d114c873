#include "libraryform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "icons/paneicons.h"
#include "kbddrv/itemkinds.h"
#include "library/itemtags.h"
#include "msg/errortext.h"
#include "printing/listdialogs.h"

namespace {

enum Column { NameColumn, TypeColumn, SizeColumn, CopiesColumn, TagsColumn, FileColumn };
constexpr int kAnyType = -1;
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kHashRole = Qt::UserRole + 2;
constexpr int kAnyTag = 0;  // the tag box's first choice

}  // namespace

TLibraryForm::TLibraryForm(const library::Index* index, const QString& problem,
                           const MsgStr& messages, QWidget* owner)
    : QDialog(owner), index_(index), problem_(problem) {
    setObjectName("LibraryForm");
    setWindowTitle(tr("Library"));
    try {
        tags_ = std::make_unique<library::TagStore>();
    } catch (...) {
        tagsProblem_ = currentErrorText(messages);
    }
    nameEdit_ = new QLineEdit;
    nameEdit_->setObjectName("LibraryNameEdit");
    nameEdit_->setClearButtonEnabled(true);
    typeBox_ = new QComboBox;
    typeBox_->setObjectName("LibraryTypeBox");
    typeBox_->addItem(tr("All types"), kAnyType);
    for (const mls850::ItemKind& kind : mls850::kItemKinds) {
        typeBox_->addItem(kbdpane::typeWord(kind.type), int(kind.type));
    }
    tagBox_ = new QComboBox;
    tagBox_->setObjectName("LibraryTagBox");
    tagBox_->setEnabled(tags_ != nullptr);
    wordsEdit_ = new QLineEdit;
    wordsEdit_->setObjectName("LibraryWordsEdit");
    wordsEdit_->setClearButtonEnabled(true);
    wordsEdit_->setEnabled(tags_ != nullptr);
    wordsEdit_->setAccessibleDescription(
        tr("List only items whose tags or note hold every one of these words"));
    duplicatesBox_ = new QCheckBox(tr("Only &duplicates"));
    duplicatesBox_->setObjectName("LibraryDuplicatesBox");
    duplicatesBox_->setAccessibleDescription(tr("List only items found in more than one place"));
    auto* fields = new QFormLayout;
    auto* nameLabel = new QLabel(tr("&Name:"));
    nameLabel->setBuddy(nameEdit_);
    auto* typeLabel = new QLabel(tr("&Type:"));
    typeLabel->setBuddy(typeBox_);
    auto* tagLabel = new QLabel(tr("Ta&g:"));
    tagLabel->setBuddy(tagBox_);
    auto* wordsLabel = new QLabel(tr("Tags and n&otes:"));
    wordsLabel->setBuddy(wordsEdit_);
    fields->addRow(nameLabel, nameEdit_);
    fields->addRow(typeLabel, typeBox_);
    fields->addRow(tagLabel, tagBox_);
    fields->addRow(wordsLabel, wordsEdit_);
    fields->addRow(duplicatesBox_);

    model_ = new QStandardItemModel(0, FileColumn + 1, this);
    model_->setHorizontalHeaderLabels(
        {tr("Name"), tr("Type"), tr("Size(byte)"), tr("Copies"), tr("Tags"), tr("File")});
    view_ = new QTreeView;
    view_->setObjectName("LibraryView");
    view_->setAccessibleName(tr("Library items"));
    view_->setModel(model_);
    view_->setRootIsDecorated(false);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setAllColumnsShowFocus(true);
    view_->header()->setStretchLastSection(true);
    summary_ = new QLabel;
    summary_->setObjectName("LibrarySummary");
    scanState_ = new QLabel;
    scanState_->setObjectName("LibraryScanState");
    scanState_->setWordWrap(true);

    showFileBtn_ = new QPushButton(tr("&Show File"));
    showFileBtn_->setObjectName("ShowFileBtn");
    showFileBtn_->setAccessibleDescription(tr("Select the file in the PC list"));
    tagsBtn_ = new QPushButton(tr("T&ags..."));
    tagsBtn_->setObjectName("LibraryTagsBtn");
    tagsBtn_->setAccessibleDescription(tr("Change the tags and note of the selected items"));
    scanBtn_ = new QPushButton(tr("Scan &Now"));
    scanBtn_->setObjectName("ScanNowBtn");
    scanBtn_->setAccessibleDescription(tr("Read the library's folders again"));
    printBtn_ = new QPushButton(tr("&Print..."));
    printBtn_->setObjectName("LibraryPrintBtn");
    printBtn_->setAccessibleDescription(tr("Print the items listed"));
    exportBtn_ = new QPushButton(tr("&Export..."));
    exportBtn_->setObjectName("LibraryExportBtn");
    exportBtn_->setAccessibleDescription(
        tr("Write the items listed as CSV, a web page or a PDF document"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setObjectName("CloseBtn");
    buttons->addButton(showFileBtn_, QDialogButtonBox::ActionRole);
    buttons->addButton(tagsBtn_, QDialogButtonBox::ActionRole);
    buttons->addButton(scanBtn_, QDialogButtonBox::ActionRole);
    buttons->addButton(printBtn_, QDialogButtonBox::ActionRole);
    buttons->addButton(exportBtn_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(showFileBtn_, &QPushButton::clicked, this, &TLibraryForm::showChosenFile);
    connect(view_, &QTreeView::activated, this, &TLibraryForm::showChosenFile);
    connect(tagsBtn_, &QPushButton::clicked, this, &TLibraryForm::askForTags);
    connect(scanBtn_, &QPushButton::clicked, this, &TLibraryForm::scanRequested);
    connect(printBtn_, &QPushButton::clicked, this, [this] { lists::preview(this, listed()); });
    connect(exportBtn_, &QPushButton::clicked, this, &TLibraryForm::exportListed);
    connect(nameEdit_, &QLineEdit::textChanged, this, &TLibraryForm::search);
    connect(typeBox_, &QComboBox::currentIndexChanged, this, &TLibraryForm::search);
    connect(tagBox_, &QComboBox::currentIndexChanged, this, &TLibraryForm::search);
    connect(wordsEdit_, &QLineEdit::textChanged, this, &TLibraryForm::search);
    connect(duplicatesBox_, &QCheckBox::toggled, this, &TLibraryForm::search);
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        showFileBtn_->setEnabled(view_->selectionModel()->hasSelection());
        tagsBtn_->setEnabled(tags_ != nullptr && view_->selectionModel()->hasSelection());
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(view_, 1);
    layout->addWidget(summary_);
    layout->addWidget(scanState_);
    layout->addWidget(buttons);
    resize(720, 480);
    refresh(false, {});
}

TLibraryForm::~TLibraryForm() = default;

int TLibraryForm::rowCount() const {
    return model_->rowCount();
}

lists::ItemList TLibraryForm::listed() const {
    lists::ItemList list;
    const QString searched =
        nameEdit_->text().isEmpty()
            ? typeBox_->currentText()
            : QString("\"%1\", %2").arg(nameEdit_->text(), typeBox_->currentText());
    list.title =
        tr("Library: %1, %2")
            .arg(searched, QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
    for (int column = 0; column < model_->columnCount(); ++column) {
        list.headings << model_->headerData(column, Qt::Horizontal).toString();
    }
    list.numberColumns = {SizeColumn, CopiesColumn};
    list.language = QLocale().name().section('_', 0, 0);
    for (int row = 0; row < model_->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model_->columnCount(); ++column) {
            cells << model_->item(row, column)->text();
        }
        list.rows.push_back(cells);
    }
    lists::dropColumnIfEmpty(list, TagsColumn);
    return list;
}

void TLibraryForm::exportListed() {
    const QString folder =
        view_->currentIndex().isValid()
            ? QFileInfo(
                  view_->currentIndex().siblingAtColumn(FileColumn).data(kPathRole).toString())
                  .absolutePath()
            : QDir::homePath();
    lists::askAndSave(this, listed(), folder, [this](const QString& text) {
        QMessageBox::critical(this, windowTitle(), text);
    });
}

void TLibraryForm::refresh(bool scanning, const QStringList& problems) {
    QString state;
    if (index_ == nullptr) {
        state = tr("The library cannot be used: %1").arg(problem_);
    } else if (scanning) {
        state = tr("Reading the library's folders...");
    }
    if (!problems.isEmpty()) {
        state += (state.isEmpty() ? QString() : QStringLiteral("\n")) +
                 tr("%n file(s) or folder(s) could not be read.", nullptr, int(problems.size()));
    }
    if (tags_ == nullptr) {
        state += (state.isEmpty() ? QString() : QStringLiteral("\n")) +
                 tr("The tags cannot be used: %1").arg(tagsProblem_);
    }
    scanState_->setText(state);
    scanState_->setToolTip(problems.join('\n'));
    fillTagBox();
    scanBtn_->setEnabled(index_ != nullptr && !scanning);
    search();
}

void TLibraryForm::fillTagBox() {
    const QString chosen = tagBox_->currentIndex() > kAnyTag ? tagBox_->currentText() : QString();
    const QSignalBlocker quiet(tagBox_);
    tagBox_->clear();
    tagBox_->addItem(tr("Any tag"));
    if (tags_ != nullptr) {
        tagBox_->addItems(tags_->allTags());
    }
    tagBox_->setCurrentIndex(std::max(kAnyTag, tagBox_->findText(chosen)));
}

void TLibraryForm::askForTags() {
    QStringList hashes;
    QSet<QString> names;
    for (const QModelIndex& row : view_->selectionModel()->selectedRows(NameColumn)) {
        const QString sha256 = row.data(kHashRole).toString();
        if (!hashes.contains(sha256)) {
            hashes << sha256;
            names.insert(row.data().toString());
        }
    }
    if (hashes.isEmpty()) {
        return;
    }
    Q_EMIT tagsRequested(hashes, hashes.size() == 1
                                     ? *names.begin()
                                     : tr("%n item(s)", nullptr, int(hashes.size())));
}

std::vector<library::Entry> TLibraryForm::matches() const {
    if (index_ == nullptr) {
        return {};
    }
    std::vector<library::Entry> found = filtered();
    if (tags_ != nullptr) {
        tags_->narrow(found, tagBox_->currentIndex() > kAnyTag ? tagBox_->currentText() : QString(),
                      wordsEdit_->text());
    }
    return found;
}

std::vector<library::Entry> TLibraryForm::filtered() const {
    const int type = typeBox_->currentData().toInt();
    const QString text = nameEdit_->text();
    std::optional<std::uint16_t> onlyType;
    if (type != kAnyType) {
        onlyType = std::uint16_t(type);
    }
    if (!duplicatesBox_->isChecked()) {
        return index_->find(text, onlyType);
    }
    std::vector<library::Entry> found;
    for (const library::Entry& entry : index_->duplicates()) {
        if (entry.name.contains(text, Qt::CaseInsensitive) &&
            (!onlyType || entry.type == *onlyType)) {
            found.push_back(entry);
        }
    }
    return found;
}

void TLibraryForm::search() {
    const QString chosen =
        view_->currentIndex().siblingAtColumn(FileColumn).data(kPathRole).toString();
    model_->removeRows(0, model_->rowCount());
    std::vector<library::Entry> found;
    try {
        found = matches();
    } catch (const std::exception& e) {
        scanState_->setText(QString::fromLocal8Bit(e.what()));
    }
    QSet<QString> files;
    for (const library::Entry& entry : found) {
        auto* name = new QStandardItem(entry.name);
        auto* type = new QStandardItem(kbdpane::typeWord(entry.type));
        auto* size = new QStandardItem(QString::number(entry.size));
        size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* copies = new QStandardItem(QString::number(entry.copies));
        copies->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        name->setData(entry.sha256, kHashRole);
        auto* tagged = new QStandardItem;
        if (tags_ != nullptr) {
            const library::ItemTags item = tags_->of(entry.sha256);
            tagged->setText(item.tags.join(QStringLiteral(", ")));
            tagged->setToolTip(item.note);
        }
        const QString path = QDir::toNativeSeparators(entry.path);
        auto* file = new QStandardItem(path);
        file->setData(entry.path, kPathRole);
        file->setToolTip(path);
        if (entry.copies > 1) {
            // The same item elsewhere: marked in words too, not only by the font.
            copies->setText(tr("%1 (duplicate)").arg(entry.copies));
            QFont bold = view_->font();
            bold.setBold(true);
            for (QStandardItem* cell : {name, copies}) {
                cell->setFont(bold);
            }
        }
        model_->appendRow({name, type, size, copies, tagged, file});
        files.insert(entry.path);
        if (entry.path == chosen) {
            view_->setCurrentIndex(model_->index(model_->rowCount() - 1, 0));
        }
    }
    summary_->setText(tr("%n item(s)", nullptr, int(found.size())) + ", " +
                      tr("%n file(s)", nullptr, int(files.size())));
    showFileBtn_->setEnabled(view_->selectionModel()->hasSelection());
    tagsBtn_->setEnabled(tags_ != nullptr && view_->selectionModel()->hasSelection());
}

void TLibraryForm::showChosenFile() {
    const QModelIndex current = view_->currentIndex();
    if (!current.isValid()) {
        return;
    }
    chosenFile_ = current.siblingAtColumn(FileColumn).data(kPathRole).toString();
    accept();
}
