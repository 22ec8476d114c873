#include "midilogdock.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "ekmidi/midilogtext.h"
#include "platform/handover.h"

namespace {

constexpr int kTimeWidth = 90;
constexpr int kDirectionWidth = 40;
constexpr int kBytesWidth = 320;

}  // namespace

MidiLogModel::MidiLogModel(std::size_t rowLimit, QObject* parent)
    : QAbstractTableModel(parent), limit_(rowLimit) {
    const std::deque<platform::MidiLog::Entry> entries = platform::MidiLog::instance().entries();
    rows_.assign(entries.end() - qsizetype(std::min(entries.size(), limit_)), entries.end());
    // Entries recorded on the keyboard's thread come over as queued calls; the model's own
    // thread takes them in order.
    listener_ =
        platform::MidiLog::instance().addListener([this](const platform::MidiLog::Entry& entry) {
            platform::runOn(this, [this, entry] { append(entry); });
        });
}

MidiLogModel::~MidiLogModel() {
    platform::MidiLog::instance().removeListener(listener_);
}

void MidiLogModel::append(const platform::MidiLog::Entry& entry) {
    if (limit_ == 0) {
        return;
    }
    // Once the rows are full the first row goes, the new one comes.
    if (rows_.size() == limit_) {
        beginRemoveRows({}, 0, 0);
        rows_.pop_front();
        endRemoveRows();
    }
    beginInsertRows({}, int(rows_.size()), int(rows_.size()));
    rows_.push_back(entry);
    endInsertRows();
}

int MidiLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int MidiLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MidiLogModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || std::size_t(index.row()) >= rows_.size()) {
        return {};
    }
    const midilogtext::Fields fields = midilogtext::fieldsOf(rows_[std::size_t(index.row())]);
    switch (index.column()) {
        case TimeColumn:
            return fields.time;
        case DirectionColumn:
            return fields.direction;
        case BytesColumn:
            return fields.bytes;
        case MeaningColumn:
            return fields.meaning;
        default:
            return {};
    }
}

QVariant MidiLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case TimeColumn:
            return tr("Time");
        case DirectionColumn:
            return tr("Way");
        case BytesColumn:
            return tr("Bytes");
        case MeaningColumn:
            return tr("Message");
        default:
            return {};
    }
}

void MidiLogModel::clear() {
    beginResetModel();
    platform::MidiLog::instance().clear();
    rows_.clear();
    endResetModel();
}

QString MidiLogModel::text() const {
    QString text;
    for (const auto& entry : platform::MidiLog::instance().entries()) {
        text += midilogtext::lineOf(entry) + '\n';
    }
    return text;
}

MidiLogDock::MidiLogDock(QWidget* parent) : QDockWidget(tr("MIDI Log"), parent) {
    setObjectName("MidiLogDock");
    toggleViewAction()->setText(tr("&MIDI Log"));
    toggleViewAction()->setObjectName("MidiLogAction");
    model_ = new MidiLogModel(kShownMessages, this);
    view_ = new QTableView;
    view_->setObjectName("MidiLogView");
    view_->setAccessibleName(tr("MIDI messages"));
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->setWordWrap(false);
    connect(this, &QDockWidget::visibilityChanged, this, &MidiLogDock::attachWhileShown);
    // New messages stay in sight while the view is at its end.
    connect(model_, &QAbstractItemModel::rowsInserted, view_, [this] {
        if (isVisible()) {
            view_->scrollToBottom();
        }
    });

    auto* clear = new QPushButton(tr("&Clear"));
    clear->setObjectName("MidiLogClearBtn");
    connect(clear, &QPushButton::clicked, model_, &MidiLogModel::clear);
    auto* save = new QPushButton(tr("&Save As..."));
    save->setObjectName("MidiLogSaveBtn");
    connect(save, &QPushButton::clicked, this, &MidiLogDock::saveAs);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(clear);
    buttons->addWidget(save);
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    layout->addLayout(buttons);
    setWidget(content);
}

void MidiLogDock::attachWhileShown(bool shown) {
    if (shown == (view_->model() == model_)) {
        return;
    }
    view_->setModel(shown ? model_ : nullptr);
    if (shown) {
        view_->setColumnWidth(MidiLogModel::TimeColumn, kTimeWidth);
        view_->setColumnWidth(MidiLogModel::DirectionColumn, kDirectionWidth);
        view_->setColumnWidth(MidiLogModel::BytesColumn, kBytesWidth);
        view_->scrollToBottom();
    }
}

void MidiLogDock::saveAs() {
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Save MIDI Log"), QString(), tr("Text (*.txt)"));
    if (!path.isEmpty()) {
        saveTo(path);
    }
}

bool MidiLogDock::saveTo(const QString& path) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text) &&
        file.write(model_->text().toUtf8()) >= 0 && file.commit()) {
        return true;
    }
    QMessageBox::critical(this, window()->windowTitle(),
                          tr("The MIDI log could not be saved to \"%1\": %2")
                              .arg(QDir::toNativeSeparators(path), file.errorString()));
    return false;
}
