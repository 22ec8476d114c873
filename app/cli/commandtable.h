#pragma once

#include <QString>
#include <QStringList>
#include <limits>
#include <vector>

namespace cli {

class CommandContext;

// No upper bound on a command's arguments (import takes any number of slots).
inline constexpr int kAnyNumber = std::numeric_limits<int>::max();

// One way to call a command, as the help shows it: "import all [DIR]" and what it does.
struct Usage {
    const char* synopsis;
    const char* help;  // lines broken where the help breaks them
};

// Commands are shown by group; a group may end with a note on all of them.
enum class CommandGroup { Devices, Slots, Backups, Files, KeptCopies, Changes };

// A command of nvbman-cli: everything the help, the usage checks and the dispatch know of it.
struct Command {
    const char* name;
    CommandGroup group;
    std::vector<Usage> usages;
    int leastArguments;
    int mostArguments;
    int (*run)(CommandContext& context, const QStringList& arguments);
};

// Every command, in the order the help lists them.
const std::vector<Command>& commandTable();
// The command of that name; null when there is none.
const Command* findCommand(const QString& name);

// The "Commands:" part of --help, made from the table.
QString commandsHelp();
// The names of the commands for the positional argument's help: "devices, find, ... or redo."
QString commandNames();

}  // namespace cli
