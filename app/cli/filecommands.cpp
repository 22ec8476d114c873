// show, convert: files on the PC, read without the keyboard.

#include <QDir>
#include <QFileInfo>

#include "backup/batchjobs.h"
#include "commandcontext.h"
#include "commands.h"
#include "data/ekdatafile.h"
#include "kbddrv/itemkinds.h"
#include "platform/systemerror.h"
#include "stream/nvbtransfer.h"
#include "syx/syxdump.h"

namespace cli::commands {

int show(CommandContext& context, const QStringList& arguments) {
    const QString& file = arguments[0];
    EkDataFile item(DataType::NoType);
    transfer::loadFile(file, item);
    const QString name = transfer::keyboardText(item.name());
    const QString typeName = mls850::typeName(item.type());
    CommandOutput& output = context.output();
    output.setObject({{"file", QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath())},
                      {"type", item.type()},
                      {"typeName", typeName},
                      {"size", qint64(item.size())},
                      {"name", name}});
    output.line(QString("type: %1 (%2)").arg(item.type()).arg(typeName));
    output.line(QString("size: %1").arg(item.size()));
    output.line("name: \"" + printable(name) + "\"");
    return Success;
}

// convert FILE.syx [DIR]: every whole item of a dump into a ".nvb" file of its own in DIR
// (default: the current folder), named as an import of its slot names it; prints "SLOT PATH"
// per file. Each item that cannot be used is said with its reason, and the command fails.
int convert(CommandContext& context, const QStringList& arguments) {
    const QString& file = arguments[0];
    const QString folder = arguments.value(1, QDir::currentPath());
    transfer::makeFolder(folder);
    const syx::DumpContents dump = syx::readDumpFile(file);
    if (dump.items.empty() && dump.unusable.empty()) {
        throw platform::SystemError(platform::ErrorCode::DumpHasNoItems,
                                    {QDir::toNativeSeparators(file)});
    }
    const auto outcomes = batch::convertDump(dump, folder);
    return context.report(outcomes, folder, "not converted");
}

}  // namespace cli::commands
