#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "errorcatalog.h"

namespace platform {

// The three values the program keeps between runs.
inline constexpr int kDefaultPipeWirePeriod = 256;
// The longest period worth asking for: PipeWire's own largest quantum.
inline constexpr int kMaxPipeWirePeriod = 8192;
// The longest the keyboard's past can be kept for, in days (0: for ever): a hundred years.
inline constexpr int kMaxVersionsKeepDays = 36500;

struct Settings {
    int inputDevice = 0;   // index in the MIDI service's input list; -1: none chosen
    int outputDevice = 0;  // index in the output list
    QString defaultDirectory;
    // The devices' names when they were chosen: the numbering changes when devices come and go,
    // the name says which device was meant. Empty when unknown (a store of an older version).
    QString inputDeviceName;
    QString outputDeviceName;
    // Whether Send and Delete keep a copy of what they replace first (group "Safety").
    bool keepCopies = true;
    // Whether Send fetches the slot again afterwards and compares it with the file.
    bool verifyAfterSending = false;
    // The period asked of PipeWire's graph, in frames at 48 kHz; 0: none (MidiService).
    int pipeWirePeriod = kDefaultPipeWirePeriod;
    // The folders whose keyboard files the library keeps (group "Library"); none: the default
    // folder.
    QStringList libraryFolders{};
    // How many days the keyboard's past keeps its versions (group "Versions"); 0: for ever.
    // Older ones are forgotten, the newest of each item in a slot never.
    int versionsKeepDays = 0;
    QStringList foldersOfLibrary() const {
        if (!libraryFolders.isEmpty()) {
            return libraryFolders;
        }
        return defaultDirectory.isEmpty() ? QStringList() : QStringList{defaultDirectory};
    }
};

// The per-user settings store: on Windows the registry key Software\Velta\NvbMan, elsewhere the
// user's configuration file for Velta/NvbMan, with the groups "MIDI" (InputDevice,
// OutputDevice, and beside them InputDeviceName and OutputDeviceName) and "Directory" (Default).
// The groups' presence marks that the program has run before.
class SettingsStore {
public:
    // The user's store (its file: userFile()).
    SettingsStore();
    // The store on the settings file `path` of `format`. A file there that is no regular file
    // (nor a link to one) is never opened: a FIFO would hold the program on its opening, and a
    // device (or a link to one) would be replaced by a regular file on the first write. Its
    // values are then kept for this run only (in a private folder that goes with the store),
    // and unusable() says why.
    SettingsStore(const QString& path, QSettings::Format format);
    // A store on the given settings object (tests).
    explicit SettingsStore(std::unique_ptr<QSettings> settings);
    ~SettingsStore();

    // Where the user's settings are kept: on Windows the registry key, elsewhere the per-user
    // file ($XDG_CONFIG_HOME/Velta/NvbMan.conf).
    static QString userFile();
    // Why the settings file cannot be used (SettingsFileUnusable), none when it can.
    const std::optional<CodedText>& unusable() const { return unusable_; }

    bool hasRunBefore() const;
    // Throws SystemError naming the value that is missing or not a number.
    Settings load() const;
    // What a program that needs no MIDI device reads (the period to ask PipeWire for, the
    // library's folders): the stored settings, or the defaults where there are none or they
    // cannot be read (a first start of the window whose Preference dialog was cancelled leaves
    // no devices, and must not make every later command fail).
    Settings loadOrDefaults() const;
    // Marks that the program has run, without writing values yet.
    void markRun();
    void save(const Settings& settings);

    // The window's layout (group "Window": its place and size, splitters, views, columns),
    // values the window reads back as it wrote them; an invalid QVariant when none is stored.
    QVariant layoutValue(const QString& key) const;
    void setLayoutValue(const QString& key, const QVariant& value);

private:
    std::unique_ptr<QTemporaryDir> stand_in_;  // the folder of the run's values, when unusable
    std::optional<CodedText> unusable_;
    std::unique_ptr<QSettings> settings_;
};

}  // namespace platform
