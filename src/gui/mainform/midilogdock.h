#pragma once

#include <QAbstractTableModel>
#include <QDockWidget>

#include "platform/midilog.h"

class QTableView;

// The MIDI log's rows: every message the program's ports sent and received (the last
// platform::MidiLog::kCapacity of them), with time, direction, bytes and meaning. Follows the
// log as messages pass.
class MidiLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TimeColumn, DirectionColumn, BytesColumn, MeaningColumn, ColumnCount };

    explicit MidiLogModel(QObject* parent = nullptr);
    ~MidiLogModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void clear();
    // The log as text, a line per message, oldest first.
    QString text() const;

private:
    void appended();

    int listener_ = 0;
    std::size_t shown_ = 0;  // rows the view knows of
};

// View > "MIDI Log": a dock under the window with the log, "Clear" and "Save As...".
class MidiLogDock : public QDockWidget {
    Q_OBJECT
public:
    explicit MidiLogDock(QWidget* parent = nullptr);
    MidiLogModel* model() const { return model_; }
    // Writes the log's text to `path`; an error box says what failed.
    bool saveTo(const QString& path);

private:
    void saveAs();

    MidiLogModel* model_;
    QTableView* view_;
};
