#pragma once

#include <QDialog>

class QLabel;

// The memory figures of one keyboard area or folder: name, bytes used, bytes free, capacity.
// Nothing can be changed here.
class TKbdDrivePropertyForm : public QDialog {
    Q_OBJECT
public:
    explicit TKbdDrivePropertyForm(QWidget* owner);

    void SetName(const QString& name);
    void showUsed(std::int32_t bytes);
    void showFree(std::int32_t bytes);
    void showCapacity(std::int32_t bytes);

    // "<n>byte(s)": the number as an unsigned decimal, then "byte(s)" without a space.
    static QString bytesText(std::int32_t bytes);

private:
    QLabel* nameLabel_;
    QLabel* usedLabel_;
    QLabel* freeLabel_;
    QLabel* capacityLabel_;
};
