#include "commandtable.h"

#include <algorithm>

#include "commands.h"

namespace cli {

namespace {

// The help's two columns: the synopsis, then what the command does from this column on (on
// the next line when the synopsis is as wide).
constexpr int kHelpColumn = 24;
constexpr int kIndent = 2;

const char* const kGivenSlotsNote =
    "Commands on given slots (import, export, send, delete) ask the keyboard only for its kind\n"
    "and those slots, not for the whole list. --json: one JSON object on stdout instead of text, "
    "for every\n"
    "command, with \"error\" (code and text) when it fails (schema: man nvbman-cli).\n";

}  // namespace

const std::vector<Command>& commandTable() {
    using G = CommandGroup;
    namespace c = commands;
    static const std::vector<Command> table{
        {"devices",
         G::Devices,
         {{"devices", "list the MIDI devices: \"in N: NAME\" lines, then \"out N: NAME\""}},
         0,
         0,
         c::devices},
        {"find",
         G::Devices,
         {{"find",
           "ask every input/output pair (those whose names belong together first)\n"
           "for the keyboard's kind; prints the first pair an MLS-850 answers on as\n"
           "\"in N: NAME\" and \"out N: NAME\" (exit 1 when none does; the built-in\n"
           "keyboard is not tried)"}},
         0,
         0,
         c::find},
        {"list",
         G::Slots,
         {{"list [--json | --format csv|html]",
           "fetch the keyboard's list: every slot's name, size and presence, and\n"
           "the free song and rhythm memory (--json: one JSON object on stdout;\n"
           "--format: the list to print or share, as CSV or as an HTML page)"}},
         0,
         0,
         c::list},
        {"import",
         G::Slots,
         {{"import SLOT [SLOT...] [DIR]",
           "fetch each SLOT into a new .nvb file of its own in DIR (default: the\n"
           "current folder); prints the file's path (several slots: \"SLOT PATH\"\n"
           "per saved file; one that fails is reported and the others go on)"},
          {"import all [DIR]", "fetch every slot that holds data, as above"}},
         1,
         kAnyNumber,
         c::importSlots},
        {"export",
         G::Slots,
         {{"export SLOT [SLOT...] [DIR]",
           "write each SLOT's item into DIR as a .syx file of its own: exactly the\n"
           "System Exclusive messages the keyboard sends when it dumps the item,\n"
           "which every SysEx tool reads; prints \"SLOT PATH\" per exported item"},
          {"export --one-file SLOT [SLOT...] FILE.syx",
           "the same, every item one after another in the one file FILE.syx"},
          {"export all [DIR]", "export every slot that holds data, as above"}},
         1,
         kAnyNumber,
         c::exportSlots},
        {"send",
         G::Slots,
         {{"send [--verify] FILE SLOT",
           "send the .nvb FILE into SLOT (--verify: then fetch the slot again and\n"
           "compare it with FILE); a .syx FILE holding one item is sent as well"}},
         2,
         2,
         c::send},
        {"delete",
         G::Slots,
         {{"delete SLOT", "delete the song or user rhythm in SLOT"}},
         1,
         1,
         c::remove},
        {"backup",
         G::Backups,
         {{"backup [--replace] DIR",
           "import every slot that holds data into DIR, with a manifest\n"
           "(nvbman-backup.json) of which slot each file came from; prints\n"
           "\"SLOT PATH\" per saved file. A cancelled or failed backup leaves DIR\n"
           "as it was; a DIR that holds a backup already is refused unless\n"
           "--replace is given"}},
         1,
         1,
         c::backup},
        {"restore",
         G::Backups,
         {{"restore [--dry-run] [--exact] DIR | --as-of WHEN",
           "send every file of DIR's backup manifest back into its slot; prints\n"
           "\"SLOT PATH\" per restored file. Each slot is fetched first: one that\n"
           "holds the same item already is not sent again, the item of one that\n"
           "holds another is kept as a copy (see replaced). A file changed since\n"
           "the backup (its SHA-256 is not the manifest's) is not sent.\n"
           "--exact: also delete the songs and rhythms the backup does not have\n"
           "(each kept first; \"SLOT deleted\").\n"
           "--dry-run: print \"SLOT PLAN [FILE]\" per slot, PLAN being identical,\n"
           "replace, fill, keep (the keyboard's item that the backup lacks stays),\n"
           "delete (the same with --exact), file-missing or not-compared; nothing\n"
           "is changed"},
          {"restore --as-of WHEN [--dry-run]",
           "put back what the keyboard held at WHEN (an ISO 8601 date or date and\n"
           "time, local time, or a backup folder), as its versions say (see\n"
           "versions); slots with no version then, and slots empty then, stay as\n"
           "they are. The same comparison, kept copies and undo as a restore"}},
         0,
         1,
         c::restore},
        {"verify",
         G::Backups,
         {{"verify DIR",
           "fetch every slot and compare it with DIR's backup, byte for byte;\n"
           "prints \"SLOT VERDICT [FILE]\" per slot, the verdict being identical,\n"
           "different, missing-on-keyboard, missing-in-folder or not-compared;\n"
           "exit status 0 only when every slot is identical"}},
         1,
         1,
         c::verify},
        {"show",
         G::Files,
         {{"show FILE",
           "print a .nvb file's type, size and name (no keyboard needed); a .syx\n"
           "file's, when it holds one item"}},
         1,
         1,
         c::show},
        {"convert",
         G::Files,
         {{"convert FILE.syx [DIR]",
           "write every whole item of a .syx dump (recorded by any SysEx tool) into\n"
           "a .nvb file of its own in DIR (default: the current folder); prints\n"
           "\"SLOT PATH\" per file. An item that cannot be used (a wrong checksum,\n"
           "a missing block, an address that is no slot) is said with its reason"}},
         1,
         2,
         c::convert},
        {"library",
         G::Files,
         {{"library scan [DIR...]",
           "index every .nvb and .syx file under each DIR (default: the library's\n"
           "folders of the preferences and those scanned before; hidden folders are\n"
           "left out): type, name, size and the SHA-256 of each item; only new and\n"
           "changed files are read again; prints \"N files, M read, K gone\""},
          {"library find [TEXT] [--tag TAG] [--text WORDS] [--format csv|html]",
           "list the indexed items whose name contains TEXT, with their files;\n"
           "--tag: only those with the tag TAG, --text: only those whose tags or\n"
           "note hold WORDS (--format: as CSV or as an HTML page)"}},
         1,
         kAnyNumber,
         c::libraryCommand},
        {"tag",
         G::Files,
         {{"tag FILE|SLOT [+TAG|-TAG]... [--note TEXT]",
           "give the items of FILE, or the item SLOT holds, a tag (+TAG) or take\n"
           "one away (-TAG), and set their note; tags belong to the item itself, so\n"
           "every copy of it has them; prints the tags and the note"}},
         1,
         kAnyNumber,
         c::tag},
        {"tags",
         G::Files,
         {{"tags export FILE", "write every tag and note into FILE (JSON), for another PC"},
          {"tags import FILE",
           "take in the tags and notes of FILE: its tags join those of each item,\n"
           "its note is taken where the item has none"}},
         2,
         2,
         c::tagsCommand},
        {"status",
         G::Files,
         {{"status [--json]",
           "fetch every item of the keyboard and name the files on the PC that hold\n"
           "that very item (the index brought up to date first), or \"(not on the PC)\":\n"
           "what a backup has yet to save"}},
         0,
         0,
         c::status},
        {"replaced",
         G::KeptCopies,
         {{"replaced [--json]",
           "list the copies kept of what send and delete replaced, newest first"}},
         0,
         0,
         c::replaced},
        {"put-back",
         G::KeptCopies,
         {{"put-back ID", "send kept copy ID back into the slot it came from"}},
         1,
         1,
         c::putBack},
        {"copy",
         G::Changes,
         {{"copy SLOT TO", "copy the item of SLOT into the slot TO of the same kind"}},
         2,
         2,
         c::copy},
        {"move",
         G::Changes,
         {{"move SLOT TO", "move a song or rhythm into TO; SLOT is left empty"}},
         2,
         2,
         c::move},
        {"swap",
         G::Changes,
         {{"swap SLOT TO",
           "exchange the items of two slots of one kind (with an empty song or\n"
           "rhythm slot: a move)"}},
         2,
         2,
         c::swap},
        {"rename",
         G::Changes,
         {{"rename SLOT NAME",
           "give the item in SLOT (tone, DSP, song or rhythm) a new name of 1 to 8\n"
           "characters from space to '}'"}},
         2,
         2,
         c::rename},
        {"history",
         G::Changes,
         {{"history [--json]",
           "list the changes that undo and redo take back, newest first, each with\n"
           "the keyboard it was made on"}},
         0,
         0,
         c::history},
        {"versions",
         G::Changes,
         {{"versions SLOT|FILE",
           "every version of SLOT the program has seen on this keyboard or put\n"
           "there, newest first: \"ID DATE NAME SIZE HOW SOURCE\", HOW being\n"
           "fetched, sent or emptied; for a FILE, where and when its item was on\n"
           "any keyboard (\"SLOT ID DATE ...\")"},
          {"versions --prune --older-than DAYS",
           "forget the versions older than DAYS days, keeping the newest version\n"
           "of each item in each slot, and the item files no version names"}},
         0,
         1,
         c::versions},
        {"changes",
         G::Changes,
         {{"changes [--since WHEN] [--until WHEN]",
           "per slot, what changed on this keyboard since WHEN (default: the last\n"
           "backup) until WHEN (default: now): \"SLOT CHANGE NAME\", CHANGE being\n"
           "added, changed, removed or unknown (no version of the slot before)"}},
         0,
         0,
         c::changes},
        {"undo",
         G::Changes,
         {{"undo [--force]",
           "take back the newest change made on this keyboard (send, delete,\n"
           "put-back, copy, move, swap, rename, restore): each slot gets back what it held. A slot "
           "changed\n"
           "since (by another program or on the keyboard) is refused unless --force"}},
         0,
         0,
         c::undo},
        {"redo",
         G::Changes,
         {{"redo [--force]", "do again the newest change that undo took back on this keyboard"}},
         0,
         0,
         c::redo},
    };
    return table;
}

const Command* findCommand(const QString& name) {
    const auto& table = commandTable();
    const auto found = std::find_if(table.begin(), table.end(), [&](const Command& command) {
        return name == QLatin1String(command.name);
    });
    return found == table.end() ? nullptr : &*found;
}

QString commandsHelp() {
    QString text = "Commands:\n";
    const QString margin(kHelpColumn, ' ');
    const auto& table = commandTable();
    for (auto command = table.begin(); command != table.end(); ++command) {
        for (const Usage& usage : command->usages) {
            QString line = QString(kIndent, ' ') + usage.synopsis;
            if (line.size() < kHelpColumn) {
                line = line.leftJustified(kHelpColumn);
            } else {
                line += '\n' + margin;
            }
            text += line + QString(usage.help).replace("\n", "\n" + margin) + '\n';
        }
        const auto next = std::next(command);
        if (command->group == CommandGroup::Slots &&
            (next == table.end() || next->group != CommandGroup::Slots)) {
            text += kGivenSlotsNote;
        }
    }
    return text;
}

QString commandNames() {
    QStringList names;
    for (const Command& command : commandTable()) {
        names << command.name;
    }
    const QString last = names.takeLast();
    return names.join(", ") + " or " + last + '.';
}

}  // namespace cli
