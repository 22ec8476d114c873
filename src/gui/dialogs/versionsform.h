#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

#include "versions/versionstore.h"

class QLabel;
class QPushButton;
class QStandardItemModel;
class QTreeView;

// "Versions...": every version of one slot the program has seen or put there (or of one
// file's item, in whatever slot it was), newest first: when, name, size, how it was seen
// (fetched, sent, emptied), from what, which one the keyboard holds now as far as the window
// knows, and the slot. "Send This Version" puts the chosen one back
// through the window's command frame (kept, confirmed, recorded, undoable).
class TVersionsForm : public QDialog {
    Q_OBJECT
public:
    using SendVersion = std::function<void(const versions::Version&)>;

    // `subject` names the slot; `heldNow` is the hash of what it holds as last seen.
    TVersionsForm(const QString& subject, std::vector<versions::Version> found,
                  const std::optional<QString>& heldNow, SendVersion send,
                  QWidget* owner = nullptr);

    int rowCount() const;
    std::optional<versions::Version> selectedVersion() const;

private:
    void enableButtons();

    std::vector<versions::Version> versions_;
    SendVersion send_;
    QStandardItemModel* model_ = nullptr;
    QTreeView* view_ = nullptr;
    QPushButton* sendBtn_ = nullptr;
};

// How a version came to be known, in the window's words.
QString howWords(const versions::Version& version);
