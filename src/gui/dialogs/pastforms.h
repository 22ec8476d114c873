#pragma once

#include <QDateTime>
#include <QDialog>
#include <functional>
#include <vector>

#include "versions/asof.h"

class QDateTimeEdit;
class QLabel;
class QPushButton;
class QStandardItemModel;
class QTreeView;

// File > "Restore Keyboard As Of...": the date and time whose keyboard to put back, or a
// backup ("Backup...": the keyboard as that backup saved it). The preview and the restore that
// follow are Restore Keyboard's.
class TAsOfForm : public QDialog {
    Q_OBJECT
public:
    TAsOfForm(const QDateTime& suggested, QWidget* owner = nullptr);
    QDateTime when() const;
    // The backup folder chosen with "Backup..."; empty when a time was.
    QString backupFolder() const { return backupFolder_; }
    QDateTimeEdit* whenEdit() const { return whenEdit_; }

private:
    QDateTimeEdit* whenEdit_ = nullptr;
    QString backupFolder_;
};

// File > "What Changed...": per slot, what changed on the keyboard between two dates and times
// (since the last backup until now, at first): added, changed, removed, or unknown before,
// with the names before and after; "Versions" shows the chosen slot's versions.
class TChangesForm : public QDialog {
    Q_OBJECT
public:
    using Changes = std::function<std::vector<versions::SlotChangeSince>(const QDateTime& since,
                                                                         const QDateTime& until)>;

    TChangesForm(const QDateTime& since, Changes changes, QWidget* owner = nullptr);
    int rowCount() const;
    QDateTimeEdit* sinceEdit() const { return sinceEdit_; }
    QDateTimeEdit* untilEdit() const { return untilEdit_; }

Q_SIGNALS:
    void versionsRequested(const SlotAddress& slot);

private:
    void listChanges();

    Changes changes_;
    std::vector<versions::SlotChangeSince> listed_;
    QDateTimeEdit* sinceEdit_ = nullptr;
    QDateTimeEdit* untilEdit_ = nullptr;
    QStandardItemModel* model_ = nullptr;
    QTreeView* view_ = nullptr;
    QLabel* summary_ = nullptr;
    QPushButton* versionsBtn_ = nullptr;
};
