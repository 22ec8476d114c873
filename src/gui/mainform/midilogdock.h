#pragma once

#include <QAbstractTableModel>
#include <QDockWidget>
#include <deque>

#include "platform/midilog.h"

class QTableView;

// The MIDI log's rows: the last `rowLimit` messages the program's ports sent and received (at
// most the log's platform::MidiLog::kCapacity), with time, direction, bytes and meaning.
// Follows the log as messages pass: the log hears them on the keyboard's thread, the model takes
// each in on its own thread and keeps its rows itself.
class MidiLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TimeColumn, DirectionColumn, BytesColumn, MeaningColumn, ColumnCount };

    explicit MidiLogModel(std::size_t rowLimit = platform::MidiLog::kCapacity,
                          QObject* parent = nullptr);
    ~MidiLogModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void clear();
    // The whole log as text, a line per message, oldest first.
    QString text() const;

private:
    void append(const platform::MidiLog::Entry& entry);

    std::size_t limit_;
    int listener_ = 0;
    std::deque<platform::MidiLog::Entry> rows_;  // the log's last ones
};

// View > "MIDI Log": a dock under the window with the log, "Clear" and "Save As...".
//
// A table exposes every cell to screen readers, and the log holds up to 20,000 messages: a
// hidden dock that kept its rows made the window's accessibility tree grow with every command
// until a screen reader could no longer walk it. So the view has its rows only while the dock
// is shown, and then only the most recent messages; Save As... writes the whole log.
class MidiLogDock : public QDockWidget {
    Q_OBJECT
public:
    // The messages the dock shows at most.
    static constexpr std::size_t kShownMessages = 80;

    explicit MidiLogDock(QWidget* parent = nullptr);
    MidiLogModel* model() const { return model_; }
    // Writes the log's text to `path`; an error box says what failed.
    bool saveTo(const QString& path);

private:
    void saveAs();
    // Gives the view its rows while the dock is shown, and takes them away while it is not.
    void attachWhileShown(bool shown);

    MidiLogModel* model_;
    QTableView* view_;
};
