#pragma once

#include <QDialog>

class QFileSystemModel;
class QTreeView;

// The folder chooser of the preferences: the machine's folders under its one root "/", read as
// the user opens them (hidden folders left out), starting at a given folder.
class TDirBrowseForm : public QDialog {
    Q_OBJECT
public:
    explicit TDirBrowseForm(QWidget* owner);

    // Selects the deepest existing folder of `folder`; the result is `folder` until OK.
    void setInitialFolder(const QString& folder);
    // After OK the chosen folder, ending in a separator; otherwise the initial folder.
    QString resultFolder() const { return result_; }

    void accept() override;

private:
    QFileSystemModel* model_;
    QTreeView* view_;
    QString result_;
};
