#include "simulatordevice.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/eventwait.h"
#include "platform/systemerror.h"

#include <cstdio>
#include <utility>

namespace kbdsim {

SimulatorDevice::SimulatorDevice(const QString& name, SimulatedKeyboard* keyboard, QObject* parent)
    : VirtualMidiDevice(name, parent), keyboard_(keyboard) {
    keyboard_->setTransmitter(
        [this](const std::vector<std::uint8_t>& message) { transmit(message); });
}

void SimulatorDevice::receive(const std::vector<std::uint8_t>& message) {
    keyboard_->receive(message);
}

QString BuiltInKeyboard::defaultStatePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/NvbMan/builtin-keyboard.json");
}

BuiltInKeyboard::BuiltInKeyboard(const QString& statePath) : statePath_(statePath) {
    keyboard_ = std::make_unique<SimulatedKeyboard>(KeyboardMemory::demo());
    load();
    // NVBMAN_BUILTIN_LOSE: the losses of nvbman-kbdsim's --lose for the built-in keyboard, to
    // try how the programs cope with a cable that drops a message. A list it cannot read is
    // said once and ignored: no command should fail for a test switch.
    if (const QString lossList = qEnvironmentVariable("NVBMAN_BUILTIN_LOSE"); !lossList.isEmpty()) {
        Faults faults = keyboard_->faults();
        if (QString error; addLosses(faults, lossList, &error)) {
            keyboard_->setFaults(faults);
        } else {
            std::fprintf(stderr, "NVBMAN_BUILTIN_LOSE ignored: %s\n", qPrintable(error));
        }
    }
    device_ = std::make_unique<SimulatorDevice>(kDeviceName, keyboard_.get());
    device_->setUseHooks([this] { return beginUse(); }, [this] { return endUse(); });
    if (!statePath_.isEmpty()) {
        device_->setSharedState(QFileInfo(statePath_).absoluteFilePath());
    }
    QObject::connect(keyboard_.get(), &SimulatedKeyboard::memoryChanged, [this] { save(); });
    platform::MidiService::instance().setBuiltInDevice(device_.get());
}

BuiltInKeyboard::~BuiltInKeyboard() {
    device_.reset();  // leaves the device lists before the keyboard goes
}

void BuiltInKeyboard::load() {
    if (statePath_.isEmpty() || !QFileInfo::exists(statePath_)) {
        return;
    }
    try {
        keyboard_->memory() = KeyboardMemory::load(statePath_);
    } catch (const platform::SystemError& e) {
        // Kept aside, never overwritten by the next change: the user may want it back.
        const QString aside =
            statePath_ + ".damaged-" +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
        const bool kept = QFile::rename(statePath_, aside);
        stateError_ =
            QString(
                "The built-in keyboard could not read its memory (%1). %2 It goes on with "
                "the memory it had.")
                .arg(QString::fromStdString(e.what()),
                     kept ? QString("The file was kept as \"%1\".").arg(aside)
                          : QString("The file was left as it is and will not be written."));
        if (!kept) {
            statePath_.clear();
        }
    }
}

QString BuiltInKeyboard::beginUse() {
    // Another program of this user may have changed the memory since our last command.
    load();
    atCommandStart_ = keyboard_->memory();
    return std::exchange(stateError_, {});
}

void BuiltInKeyboard::waitForTheCable() {
    // The program's messages reach the device through posted events, in order, and then take
    // their wire time down the simulated cable. A command's last message (a sent item's End)
    // is still on its way when the command's own work is done: the memory changes, and is
    // saved, only when it arrives.
    bool posted = false;
    QMetaObject::invokeMethod(
        device_.get(), [&posted] { posted = true; }, Qt::QueuedConnection);
    platform::waitUntil(posted);
    bool arrived = keyboard_->hasTakenEverything();
    const QMetaObject::Connection connection = QObject::connect(
        keyboard_.get(), &SimulatedKeyboard::tookEverything, [&arrived] { arrived = true; });
    platform::waitUntil(arrived);
    QObject::disconnect(connection);
}

QString BuiltInKeyboard::endUse() {
    // A command does not end before what it changed is saved: its failure to save is the
    // command's failure.
    waitForTheCable();
    if (!stateError_.isEmpty() && atCommandStart_) {
        // What is not kept must not look kept: the memory goes back to where the command found
        // it (and so does the file, where it can be written), and the command fails.
        keyboard_->memory() = *atCommandStart_;
        try {
            if (!statePath_.isEmpty()) {
                keyboard_->memory().save(statePath_);
            }
        } catch (const platform::SystemError&) {
        }
    }
    atCommandStart_.reset();
    return std::exchange(stateError_, {});
}

void BuiltInKeyboard::save() {
    if (statePath_.isEmpty()) {
        return;
    }
    try {
        QDir().mkpath(QFileInfo(statePath_).absolutePath());
        keyboard_->memory().save(statePath_);
    } catch (const platform::SystemError& e) {
        // The command goes on with the memory as changed, as the keyboard it stands for would
        // (it confirms its changes by asking the keyboard); at its end the change is undone.
        stateError_ =
            QString("The built-in keyboard could not save its memory (%1); the change was undone.")
                .arg(QString::fromStdString(e.what()));
    }
}

}  // namespace kbdsim
