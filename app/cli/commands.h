#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "kbddrv/slotaddress.h"

namespace backup {
struct Outcome;
struct Manifest;
}  // namespace backup

namespace cli {

class CommandContext;

// The commands, by group; each takes its arguments as the table has counted them and returns
// the exit status (a failure it cannot go past is thrown).
namespace commands {

// devicecommands.cpp
int devices(CommandContext& context, const QStringList& arguments);
int find(CommandContext& context, const QStringList& arguments);

// slotcommands.cpp
int list(CommandContext& context, const QStringList& arguments);
int importSlots(CommandContext& context, const QStringList& arguments);
int exportSlots(CommandContext& context, const QStringList& arguments);
int send(CommandContext& context, const QStringList& arguments);
int remove(CommandContext& context, const QStringList& arguments);

// filecommands.cpp
int show(CommandContext& context, const QStringList& arguments);
int convert(CommandContext& context, const QStringList& arguments);

// librarycommands.cpp
int libraryCommand(CommandContext& context, const QStringList& arguments);
int tag(CommandContext& context, const QStringList& arguments);
int tagsCommand(CommandContext& context, const QStringList& arguments);
int status(CommandContext& context, const QStringList& arguments);

// backupcommands.cpp
int backup(CommandContext& context, const QStringList& arguments);
int restore(CommandContext& context, const QStringList& arguments);
int verify(CommandContext& context, const QStringList& arguments);
// The restore of a backup's manifest read from `folder` (restore, restore --as-of).
int restoreFolder(CommandContext& context, const backup::Manifest& manifest,
                  const QString& folder);

// versioncommands.cpp
int versions(CommandContext& context, const QStringList& arguments);
int changes(CommandContext& context, const QStringList& arguments);
int restoreAsOf(CommandContext& context);

// keptcommands.cpp
int replaced(CommandContext& context, const QStringList& arguments);
int putBack(CommandContext& context, const QStringList& arguments);
int history(CommandContext& context, const QStringList& arguments);
int undo(CommandContext& context, const QStringList& arguments);
int redo(CommandContext& context, const QStringList& arguments);

// organisecommands.cpp
int copy(CommandContext& context, const QStringList& arguments);
int move(CommandContext& context, const QStringList& arguments);
int swap(CommandContext& context, const QStringList& arguments);
int rename(CommandContext& context, const QStringList& arguments);

// A send or a put-back of one item, `send`, and what it says: the item now in the slot (its
// `name` and `size`, sent from `file`), or why it is not and where the slot's old item is kept.
int sendOne(CommandContext& context, const std::function<backup::Outcome()>& send,
            const QString& file, const QString& name, qint64 size);

}  // namespace commands

}  // namespace cli
