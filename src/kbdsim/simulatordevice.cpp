#include "simulatordevice.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/systemerror.h"

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
    KeyboardMemory memory = KeyboardMemory::demo();
    if (!statePath_.isEmpty() && QFileInfo::exists(statePath_)) {
        try {
            memory = KeyboardMemory::load(statePath_);
        } catch (const platform::SystemError& e) {
            // A damaged state file must not keep the program from starting: begin afresh and
            // leave the file as it is until the next change replaces it.
            stateError_ = QString::fromStdString(e.what());
        }
    }
    keyboard_ = std::make_unique<SimulatedKeyboard>(std::move(memory));
    device_ = std::make_unique<SimulatorDevice>(kDeviceName, keyboard_.get());
    QObject::connect(keyboard_.get(), &SimulatedKeyboard::memoryChanged, [this] { save(); });
    platform::MidiService::instance().setBuiltInDevice(device_.get());
}

BuiltInKeyboard::~BuiltInKeyboard() {
    device_.reset();  // leaves the device lists before the keyboard goes
}

void BuiltInKeyboard::save() {
    if (statePath_.isEmpty()) {
        return;
    }
    try {
        QDir().mkpath(QFileInfo(statePath_).absolutePath());
        keyboard_->memory().save(statePath_);
        stateError_.clear();
    } catch (const platform::SystemError& e) {
        stateError_ = QString::fromStdString(e.what());
    }
}

}  // namespace kbdsim
