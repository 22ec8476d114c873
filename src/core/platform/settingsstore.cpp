#include "settingsstore.h"

#include "systemerror.h"

namespace platform {
namespace {

const char* const kInputKey = "MIDI/InputDevice";
const char* const kOutputKey = "MIDI/OutputDevice";
const char* const kDirectoryKey = "Directory/Default";
const char* const kInputNameKey = "MIDI/InputDeviceName";
const char* const kOutputNameKey = "MIDI/OutputDeviceName";
const char* const kKeepCopiesKey = "Safety/KeepCopies";
const char* const kVerifyAfterSendingKey = "Safety/VerifyAfterSending";
const char* const kPipeWirePeriodKey = "MIDI/PipeWirePeriod";
const char* const kLibraryFoldersKey = "Library/Folders";
const QString kWindowGroup = QStringLiteral("Window/");
// Written with the first start, so a store without values still says the program has run.
const char* const kMarkerKey = "MIDI/.present";

int readDevice(const QSettings& settings, const char* key) {
    const QVariant value = settings.value(key);
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!value.isValid() || !ok) {
        throw SystemError(ErrorCode::SettingMissing, {QString::fromLatin1(key)});
    }
    return number;
}

}  // namespace

SettingsStore::SettingsStore()
    : SettingsStore(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                "Velta", "NvbMan")) {}

SettingsStore::SettingsStore(std::unique_ptr<QSettings> settings)
    : settings_(std::move(settings)) {}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::hasRunBefore() const {
    return settings_->childGroups().contains("MIDI") ||
           settings_->childGroups().contains("Directory");
}

Settings SettingsStore::load() const {
    Settings result;
    result.inputDevice = readDevice(*settings_, kInputKey);
    result.outputDevice = readDevice(*settings_, kOutputKey);
    result.defaultDirectory = settings_->value(kDirectoryKey).toString();
    result.inputDeviceName = settings_->value(kInputNameKey).toString();
    result.outputDeviceName = settings_->value(kOutputNameKey).toString();
    result.keepCopies = settings_->value(kKeepCopiesKey, true).toBool();
    result.verifyAfterSending = settings_->value(kVerifyAfterSendingKey, false).toBool();
    bool isNumber = false;
    const int period =
        settings_->value(kPipeWirePeriodKey, kDefaultPipeWirePeriod).toInt(&isNumber);
    result.pipeWirePeriod =
        isNumber && period >= 0 && period <= kMaxPipeWirePeriod ? period : kDefaultPipeWirePeriod;
    result.libraryFolders = settings_->value(kLibraryFoldersKey).toStringList();
    return result;
}

Settings SettingsStore::loadOrDefaults() const {
    if (!hasRunBefore()) {
        return {};
    }
    try {
        return load();
    } catch (const SystemError&) {
        return {};
    }
}

QVariant SettingsStore::layoutValue(const QString& key) const {
    return settings_->value(kWindowGroup + key);
}

void SettingsStore::setLayoutValue(const QString& key, const QVariant& value) {
    settings_->setValue(kWindowGroup + key, value);
}

void SettingsStore::markRun() {
    settings_->setValue(kMarkerKey, true);
    settings_->sync();
}

void SettingsStore::save(const Settings& settings) {
    settings_->remove(kMarkerKey);
    settings_->setValue(kInputKey, settings.inputDevice);
    settings_->setValue(kOutputKey, settings.outputDevice);
    settings_->setValue(kDirectoryKey, settings.defaultDirectory);
    settings_->setValue(kInputNameKey, settings.inputDeviceName);
    settings_->setValue(kOutputNameKey, settings.outputDeviceName);
    settings_->setValue(kKeepCopiesKey, settings.keepCopies);
    settings_->setValue(kVerifyAfterSendingKey, settings.verifyAfterSending);
    settings_->setValue(kPipeWirePeriodKey, settings.pipeWirePeriod);
    settings_->setValue(kLibraryFoldersKey, settings.libraryFolders);
    settings_->sync();
    if (settings_->status() != QSettings::NoError) {
        throw SystemError(ErrorCode::SettingsNotWritten, {settings_->fileName()});
    }
}

}  // namespace platform
