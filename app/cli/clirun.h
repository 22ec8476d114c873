#pragma once

#include <QStringList>

namespace cli {

class CommandOutput;

// nvbman-cli from its whole command line (the program's name first) to its exit status: the
// options parsed, --help and --version, the command found in the table and run, every failure
// said on `output` (with --json, also as one JSON object).
int run(const QStringList& commandLine, CommandOutput& output);

}  // namespace cli
