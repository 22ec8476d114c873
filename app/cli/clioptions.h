#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <optional>

namespace cli {

// The command line's options, made once and shared by the parser and the commands.
struct CliOptions {
    QCommandLineOption in{"in", "MIDI input device: number or part of its name.", "DEV"};
    QCommandLineOption out{"out", "MIDI output device: number or part of its name.", "DEV"};
    QCommandLineOption quiet{"quiet", "No progress output."};
    QCommandLineOption verbose{"verbose",
                               "Print every MIDI message on stderr, decoded, and say when a "
                               "request was asked again after its answer was lost."};
    QCommandLineOption log{"log", "Write every MIDI message, decoded, to FILE.", "FILE"};
    QCommandLineOption json{"json",
                            "Print one JSON object on stdout instead of text, also when the "
                            "command fails (schema: man nvbman-cli)."};
    QCommandLineOption replace{"replace", "backup: replace the backup that DIR holds already."};
    QCommandLineOption noSafetyCopy{
        "no-safety-copy",
        "send, delete, restore: keep no copy of what the slot held before (nothing to undo)."};
    QCommandLineOption verify{"verify",
                              "send: fetch the slot again afterwards and compare it with FILE."};
    QCommandLineOption dryRun{"dry-run",
                              "restore: say per slot what a restore would do; change nothing."};
    QCommandLineOption exact{"exact",
                             "restore: also delete the songs and rhythms the backup does not "
                             "have (each kept as a copy first)."};
    QCommandLineOption period{
        "period",
        "On PipeWire's JACK: the graph period to ask for while the command runs, in frames at "
        "48 kHz (0: ask nothing). Default: NVBMAN_PIPEWIRE_PERIOD, else the preferences' (256).",
        "FRAMES"};
    QCommandLineOption oneFile{"one-file", "export: every item into the one .syx file given last."};
    QCommandLineOption format{"format",
                              "list: write the list as FORMAT on stdout, csv (RFC 4180, UTF-8, a "
                              "heading row) or html (a page of its own).",
                              "FORMAT"};
    QCommandLineOption note{"note", "tag: set the item's note to TEXT (\"\" removes it).", "TEXT"};
    QCommandLineOption tag{"tag", "library find: the items with the tag TAG.", "TAG"};
    QCommandLineOption text{
        "text", "library find: the items whose tags or note hold every one of WORDS.", "WORDS"};
    QCommandLineOption asOf{"as-of",
                            "restore: put back what the keyboard held at WHEN (an ISO 8601 date "
                            "or date and time, local time, or a backup folder), as its "
                            "versions say.",
                            "WHEN"};
    QCommandLineOption since{"since",
                             "changes: what changed after WHEN (as --as-of); default: the last "
                             "backup.",
                             "WHEN"};
    QCommandLineOption until{"until",
                             "changes: what changed up to WHEN (as --as-of); default: now.",
                             "WHEN"};
    QCommandLineOption prune{"prune",
                             "versions: forget the versions older than --older-than DAYS (never "
                             "the newest of an item in a slot)."};
    QCommandLineOption olderThan{"older-than", "versions --prune: the age in days.", "DAYS"};
    QCommandLineOption force{"force",
                             "undo, redo: also when a slot was changed since (what it holds "
                             "now is kept first)."};

    QList<QCommandLineOption> all() const {
        return {in,     out,   quiet, verbose, log,     json,   replace, noSafetyCopy, verify,
                dryRun, exact, force, period,  oneFile, format, note,    tag,          text,
                asOf,   since, until, prune, olderThan};
    }
};

// What the options say, read once from the parsed command line.
struct OptionValues {
    OptionValues(const QCommandLineParser& parser, const CliOptions& options);

    std::optional<QString> in;   // --in, when given
    std::optional<QString> out;  // --out, when given
    bool quiet;
    bool verbose;
    QString logPath;
    bool replace;
    bool noSafetyCopy;
    bool verify;
    bool dryRun;
    bool exact;
    bool force;
    bool oneFile;
    QString period;               // --period as given; empty when not
    QString format;               // --format as given; empty when not
    std::optional<QString> note;  // --note, when given (empty: remove the note)
    QString tag;                  // --tag as given; empty when not
    QString text;                 // --text as given; empty when not
    QString asOf;                 // --as-of as given; empty when not
    QString since;                // --since as given; empty when not
    QString until;                // --until as given; empty when not
    bool prune;
    QString olderThan;  // --older-than as given; empty when not
};

}  // namespace cli
