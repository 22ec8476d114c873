#include "settingsstore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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
const char* const kVersionsKeepDaysKey = "Versions/KeepDays";
const QString kWindowGroup = QStringLiteral("Window/");
const QString kOrganisation = QStringLiteral("Velta");
const QString kApplication = QStringLiteral("NvbMan");
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

#ifdef Q_OS_WIN
SettingsStore::SettingsStore()
    : SettingsStore(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                kOrganisation, kApplication)) {}
#else
SettingsStore::SettingsStore() : SettingsStore(userFile(), QSettings::NativeFormat) {}
#endif

SettingsStore::SettingsStore(const QString& path, QSettings::Format format) {
    // Looked at without opening it: QSettings reads its file as it is made.
    const QFileInfo file(path);
    if (file.exists() && !file.isFile()) {
        unusable_ = CodedText{ErrorCode::SettingsFileUnusable, {QDir::toNativeSeparators(path)}}
                        .because({ErrorCode::NotRegularFile});
        stand_in_ = std::make_unique<QTemporaryDir>();
        settings_ = std::make_unique<QSettings>(
            stand_in_->filePath(QStringLiteral("settings.conf")), QSettings::IniFormat);
        return;
    }
    settings_ = std::make_unique<QSettings>(path, format);
}

SettingsStore::SettingsStore(std::unique_ptr<QSettings> settings)
    : settings_(std::move(settings)) {}

QString SettingsStore::userFile() {
#ifdef Q_OS_WIN
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication)
        .fileName();
#else
    // Where QSettings keeps an organisation's application on Unix: the user's configuration
    // folder, a folder named after the organisation, the application's name and ".conf".
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + '/' +
           kOrganisation + '/' + kApplication + QStringLiteral(".conf");
#endif
}

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
    const int days = settings_->value(kVersionsKeepDaysKey, 0).toInt(&isNumber);
    // A value that is no number of days keeps everything: nothing is forgotten by mistake.
    result.versionsKeepDays = isNumber && days >= 0 && days <= kMaxVersionsKeepDays ? days : 0;
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
    settings_->setValue(kVersionsKeepDaysKey, settings.versionsKeepDays);
    settings_->sync();
    // A FormatError is what reading found (a line it could not parse) and stays set after a
    // write that succeeded; only an AccessError says the file was not written.
    if (settings_->status() == QSettings::AccessError) {
        throw SystemError(ErrorCode::SettingsNotWritten, {settings_->fileName()});
    }
}

}  // namespace platform
