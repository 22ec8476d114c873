#pragma once

#include <QString>
#include <QStringList>

namespace cli {

// The word that asks nvbman-cli for completions instead of running a command (the bash
// completion script's call): `nvbman-cli __complete WORD... CURRENT`.
inline constexpr const char* kCompleteWord = "__complete";

// What may stand at the word being written (`current`), after `before` (the command line's
// words up to it, without the program's name): the commands, the options, the slot words of
// each kind ("tone:3", "reg:1.2"), "all" and the fixed words of the command's usages, from the
// command table and the item-kind table. kFileNames and kFolderNames ask the shell to add its
// own file or folder names.
QStringList completions(const QStringList& before, const QString& current);

inline constexpr const char* kFileNames = "@files";
inline constexpr const char* kFolderNames = "@folders";

}  // namespace cli
