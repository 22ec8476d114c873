#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>

namespace platform {

// The three values the program keeps between runs.
inline constexpr int kDefaultPipeWirePeriod = 256;
// The longest period worth asking for: PipeWire's own largest quantum.
inline constexpr int kMaxPipeWirePeriod = 8192;

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
    SettingsStore();
    // A store on the given settings object (tests).
    explicit SettingsStore(std::unique_ptr<QSettings> settings);
    ~SettingsStore();

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
    std::unique_ptr<QSettings> settings_;
};

}  // namespace platform
