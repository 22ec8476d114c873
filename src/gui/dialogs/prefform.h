#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class QPushButton;
class QLineEdit;
class QListWidget;

// The choice of the MIDI input device, the MIDI output device and the default folder. The
// window hands in its values, shows the dialog and takes them back only after OK; the dialog
// itself reads and writes no settings.
//
// Devices are listed as the MIDI service lists them now (the built-in software keyboard
// included). A stored device that is not connected now is shown under its stored name, marked
// as not connected, so that OK keeps it rather than silently choosing another device.
namespace probe {
struct Result;
}

class TPrefForm : public QDialog {
    Q_OBJECT
public:
    explicit TPrefForm(QWidget* owner);

    void setInputDevice(int device, const QString& name = {});
    void setOutputDevice(int device, const QString& name = {});
    void setDefaultDirectory(const QString& folder);
    int inputDevice() const { return inputDevice_; }
    int outputDevice() const { return outputDevice_; }
    QString inputDeviceName() const { return inputName_; }
    QString outputDeviceName() const { return outputName_; }
    QString defaultDirectory() const { return defaultDirectory_; }
    // "Keep a copy of what Send and Delete replace".
    void setKeepCopies(bool keep);
    bool keepCopies() const { return keepCopies_; }
    // "Verify after sending".
    void setVerifyAfterSending(bool verify);
    bool verifyAfterSending() const { return verifyAfterSending_; }
    // The period asked of PipeWire's graph, frames at 48 kHz; 0: none.
    void setPipeWirePeriod(int frames);
    int pipeWirePeriod() const { return pipeWirePeriod_; }

    // The folders whose keyboard files the library keeps; none: the default folder.
    void setLibraryFolders(const QStringList& folders);
    QStringList libraryFolders() const { return libraryFolders_; }
    // How many days the keyboard's past keeps versions (0: for ever), and what it takes now.
    void setVersionsKeepDays(int days);
    int versionsKeepDays() const { return versionsKeepDays_; }
    void showVersionsSize(const QString& text);

    void accept() override;
    void reject() override;

private:
    void browse();
    void addLibraryFolder();
    void showLibraryFolders();
    void showValues();
    // "Test": the keyboard-kind request on the chosen pair; "Find": every pair until an MLS-850
    // answers, which is then chosen. The answer shows beside the buttons.
    void testConnection();
    // What a test found, in the user's language.
    QString resultText(const probe::Result& result) const;
    void findKeyboard();
    void setProbing(bool probing);
    static void select(QComboBox* box, int device, const QString& name);
    static void take(const QComboBox* box, int& device, QString& name);

    QComboBox* inputBox_;
    QComboBox* outputBox_;
    QLineEdit* directoryEdit_;
    int inputDevice_ = 0;
    int outputDevice_ = 0;
    QString inputName_;
    QString outputName_;
    QString defaultDirectory_;
    bool keepCopies_ = true;
    QCheckBox* keepCopiesBox_ = nullptr;
    int versionsKeepDays_ = 0;
    QSpinBox* versionsKeepBox_ = nullptr;
    QLabel* versionsSize_ = nullptr;
    bool verifyAfterSending_ = false;
    QCheckBox* verifyAfterSendingBox_ = nullptr;
    int pipeWirePeriod_ = 0;
    QSpinBox* pipeWirePeriodBox_ = nullptr;
    QPushButton* testButton_ = nullptr;
    QPushButton* findButton_ = nullptr;
    QLabel* probeResult_ = nullptr;
    QStringList libraryFolders_;
    QListWidget* libraryList_ = nullptr;
};
