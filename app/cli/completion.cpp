#include "completion.h"

#include <QRegularExpression>
#include <set>
#include <vector>

#include "clioptions.h"
#include "commandtable.h"
#include "kbddrv/itemkinds.h"
#include "kbddrv/slotaddress.h"

namespace cli {
namespace {

// The placeholders of the usages that stand for a file or a folder on the PC.
const QRegularExpression kFilePlaceholder("^(FILE|FILE\\.syx|DUMP\\.syx)$");
const QRegularExpression kFolderPlaceholder("^DIR$");
// A usage's fixed word: a literal the user writes as it stands ("all", "scan").
const QRegularExpression kFixedWord("^[a-z][a-z-]*$");

QStringList optionWords(const CliOptions& options) {
    QStringList words{"--help", "--version"};
    for (const QCommandLineOption& option : options.all()) {
        words << "--" + option.names().constFirst();
    }
    return words;
}

// Every slot of the keyboard as SLOT is written, kind by kind.
QStringList slotWords() {
    QStringList words;
    for (const mls850::ItemKind& kind : mls850::kItemKinds) {
        for (int bank = 0; bank < kind.banks; ++bank) {
            for (int number = 0; number < kind.slots; ++number) {
                words << SlotAddress{kind.slotWord, bank, number}.text();
            }
        }
    }
    return words;
}

// One word of a usage after the command's name: a fixed word ("all", "scan") or a placeholder
// ("SLOT", "DIR"), perhaps optional ("[DIR]") or repeated ("[SLOT...]").
struct UsageWord {
    QString word;
    bool optional;
    bool repeated;
};

std::vector<UsageWord> usageWords(const char* synopsis) {
    std::vector<UsageWord> words;
    const QStringList parts = QString::fromLatin1(synopsis).split(' ', Qt::SkipEmptyParts).mid(1);
    for (QString part : parts) {
        const bool optional = part.startsWith('[');
        part.remove('[').remove(']');
        const bool repeated = part.endsWith("...");
        part.remove("...");
        if (!part.startsWith("--")) {  // an option: offered with the others
            words.push_back({part, optional, repeated});
        }
    }
    return words;
}

bool isSlotPlaceholder(const QString& word) {
    return word == "SLOT" || word == "TO";
}

// Whether `argument` can stand for `word` of a usage: a fixed word only for itself, a slot's
// place only for a slot, any other place for anything.
bool fills(const QString& word, const QString& argument) {
    if (kFixedWord.match(word).hasMatch()) {
        return word == argument;
    }
    return !isSlotPlaceholder(word) || SlotAddress::parse(argument).has_value();
}

// The places of `words` that the next argument may fill: `from` and, past optional words,
// the ones after them.
std::set<std::size_t> reachable(const std::vector<UsageWord>& words, std::set<std::size_t> from) {
    std::set<std::size_t> places;
    for (std::size_t place : from) {
        for (; place < words.size(); ++place) {
            places.insert(place);
            if (!words[place].optional) {
                break;
            }
        }
    }
    return places;
}

// What the next argument of `command` may be, after `given` arguments: each usage is followed
// word by word (a fixed word only by itself, a placeholder by anything).
QStringList argumentWords(const Command& command, const QStringList& given) {
    QStringList words;
    bool slots = false;
    bool files = false;
    bool folders = false;
    for (const Usage& usage : command.usages) {
        const std::vector<UsageWord> wanted = usageWords(usage.synopsis);
        std::set<std::size_t> places = reachable(wanted, {0});
        for (const QString& argument : given) {
            std::set<std::size_t> next;
            for (const std::size_t place : places) {
                const UsageWord& word = wanted[place];
                if (!fills(word.word, argument)) {
                    continue;
                }
                next.insert(place + 1);
                if (word.repeated) {
                    next.insert(place);
                }
            }
            places = reachable(wanted, next);
        }
        for (const std::size_t place : places) {
            const QString& word = wanted[place].word;
            slots = slots || isSlotPlaceholder(word);
            files = files || kFilePlaceholder.match(word).hasMatch();
            folders = folders || kFolderPlaceholder.match(word).hasMatch();
            if (kFixedWord.match(word).hasMatch()) {
                words << word;
            }
        }
    }
    if (slots) {
        words << slotWords();
    }
    if (files) {
        words << kFileNames;  // folder names come with file names
    } else if (folders) {
        words << kFolderNames;
    }
    words.removeDuplicates();
    return words;
}

}  // namespace

QStringList completions(const QStringList& before, const QString& current) {
    const CliOptions options;
    QStringList words;
    if (current.startsWith('-')) {
        words = optionWords(options);
    } else {
        // The option just before takes this word as its value?
        const QString previous = before.isEmpty() ? QString() : before.last();
        // The command, and its arguments so far (options and their values left out).
        const Command* command = nullptr;
        QStringList given;
        const QStringList valued{
            "--" + options.in.names().constFirst(), "--" + options.out.names().constFirst(),
            "--" + options.log.names().constFirst(), "--" + options.period.names().constFirst()};
        for (int i = 0; i < before.size(); ++i) {
            if (valued.contains(before[i])) {
                ++i;
            } else if (before[i].startsWith('-')) {
                continue;
            } else if (command == nullptr) {
                command = findCommand(before[i]);
            } else {
                given << before[i];
            }
        }
        if (previous == "--" + options.log.names().constFirst()) {
            words << kFileNames;
        } else if (previous == "--" + options.in.names().constFirst() ||
                   previous == "--" + options.out.names().constFirst()) {
            words << "built-in";
        } else if (previous == "--" + options.period.names().constFirst()) {
            return {};
        } else if (command == nullptr) {
            for (const Command& each : commandTable()) {
                words << QString::fromLatin1(each.name);
            }
        } else {
            words = argumentWords(*command, given);
        }
    }
    QStringList fitting;
    for (const QString& word : words) {
        if (word.startsWith('@') || word.startsWith(current)) {
            fitting << word;
        }
    }
    return fitting;
}

}  // namespace cli
