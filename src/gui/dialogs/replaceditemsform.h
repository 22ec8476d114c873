#pragma once

#include <QDialog>
#include <functional>

#include "safety/safetystore.h"

class QPushButton;
class QStandardItemModel;
class QTreeView;

// File > "Replaced Items...": the copies kept of what Send and Delete replaced on the keyboard,
// newest first, with when, slot, name, type, size and why. "Put Back" sends the chosen copy into
// its slot (through the window's command frame, which keeps a copy of what that replaces in
// turn), "Save As..." copies its ".nvb" file to a folder of the user's, "Delete" forgets it.
class TReplacedItemsForm : public QDialog {
    Q_OBJECT
public:
    // `putBack` starts the send, and calls `afterwards` once it has succeeded.
    using PutBack =
        std::function<void(const safety::Copy&, const std::function<void()>& afterwards)>;

    TReplacedItemsForm(safety::Store& store, PutBack putBack, QWidget* owner = nullptr);

    // Reads the store again (after a put-back made a copy of its own).
    void refresh();
    // The copy of the selected row; none when no row is selected.
    std::optional<safety::Copy> selectedCopy() const;

    void putBackSelected();
    // Copies the selected copy's file into `folder` under its item's file name.
    void saveInto(const QString& folder);
    void deleteSelected();

private:
    // The row's "Why": what replaced the kept item.
    static QString whyText(const safety::Copy& copy);
    void showError(const QString& text);
    void enableButtons();

    safety::Store& store_;
    PutBack putBack_;
    std::vector<safety::Copy> copies_;
    QStandardItemModel* model_ = nullptr;
    QTreeView* view_ = nullptr;
    QPushButton* putBackBtn_ = nullptr;
    QPushButton* saveAsBtn_ = nullptr;
    QPushButton* deleteBtn_ = nullptr;
};
