// The local pane's models on real folders: the list's rows, order and sizes, what is never
// shown, the folder tree's walk to the default folder and its refresh in place.

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "data/ekdatafile.h"
#include "panes/localpanemodel.h"
#include "stream/nvbfilestream.h"

namespace {

void makeFile(const QString& path, qint64 size) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(size));  // sparse: a 5 GiB file costs nothing on disk
}

QStringList rows(const LocalListModel& model) {
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row) {
        out << QString("%1|%2|%3")
                   .arg(model.index(row, 0).data().toString(),
                        model.index(row, 1).data().toString(),
                        model.index(row, 2).data().toString());
    }
    return out;
}

void makeItem(const QString& path, std::uint16_t type, std::uint32_t size, const char* name) {
    EkDataFile item(type);
    item.setSize(size);
    item.words().assign(size / 2, 0x4141);
    item.storeName(name);
    NvbFileStream(path, NvbFileStream::Create).write(item);
}

QString withSeparator(const QString& path) {
    return QDir::toNativeSeparators(path) + QDir::separator();
}

}  // namespace

class TestLocalPane : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sizeColumn_data();
    void sizeColumn();
    void rowsInCaptionOrderWithoutHiddenOrSystemEntries();
    void unreadableFolderListsNothing();
    void treeWalksToTheDeepestExistingFolder_data();
    void treeWalksToTheDeepestExistingFolder();
    void refreshKeepsNodesAndFollowsTheDisk();
    void nvbFilesShowTheirItem();
};

void TestLocalPane::sizeColumn_data() {
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("empty") << qint64(0) << "1KB";
    QTest::newRow("1023") << qint64(1023) << "1KB";
    QTest::newRow("1024") << qint64(1024) << "1KB";
    QTest::newRow("2047") << qint64(2047) << "1KB";
    QTest::newRow("2048") << qint64(2048) << "2KB";
    QTest::newRow("1 MiB") << qint64(1 << 20) << "1024KB";
    QTest::newRow("5 GiB") << qint64(5) * (qint64(1) << 30) << "5242880KB";
}

void TestLocalPane::sizeColumn() {
    QFETCH(qint64, bytes);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    makeFile(dir.filePath("data.bin"), bytes);
    LocalListModel model;
    model.list(withSeparator(dir.path()));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 2).data().toString(), shown);
    QCOMPARE(model.index(0, 2).data(Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignRight | Qt::AlignVCenter));
}

void TestLocalPane::rowsInCaptionOrderWithoutHiddenOrSystemEntries() {
    QTemporaryDir dir;
    for (const char* name : {"b.nvb", "A.txt", "a.nvb", ".hidden.nvb"}) {
        makeFile(dir.filePath(name), 10);
    }
    for (const char* name : {"Music", "zeta", ".config"}) {
        QVERIFY(QDir(dir.path()).mkdir(name));
    }
    QCOMPARE(mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
    QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("broken link")));
    LocalListModel model;
    model.list(withSeparator(dir.path()));
    // One order for folders and files alike, by caption; the folder's size stays empty.
    const QString text = QFileIconProvider().type(QFileInfo(dir.filePath("A.txt")));
    const QString folder = QFileIconProvider().type(QFileInfo(dir.filePath("Music")));
    QCOMPARE(rows(model),
             QStringList({"a.nvb|NVB File|1KB", "A.txt|" + text + "|1KB", "b.nvb|NVB File|1KB",
                          "Music|" + folder + "|", "zeta|" + folder + "|"}));
    QCOMPARE(model.rowNamed("Music").row(), 3);
    QVERIFY(model.entry(model.rowNamed("Music")).isDir());
    QVERIFY(!model.rowNamed("music").isValid());
}

void TestLocalPane::unreadableFolderListsNothing() {
    QTemporaryDir dir;
    makeFile(dir.filePath("plain"), 1);
    LocalListModel model;
    for (const QString& path : {withSeparator(dir.filePath("plain")),  // a file, not a folder
                                withSeparator(dir.filePath("missing"))}) {
        model.list(path);
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!localpane::hasSubfolder(path));
    }
}

void TestLocalPane::treeWalksToTheDeepestExistingFolder_data() {
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QString>("selected");
    QTest::newRow("whole path") << "Music2/Songs"
                                << "Music2/Songs";
    QTest::newRow("trailing separator") << "Music2/Songs/"
                                        << "Music2/Songs";
    QTest::newRow("last part missing") << "Music2/Gone"
                                       << "Music2";
    QTest::newRow("never through Music") << "Music2"
                                         << "Music2";
}

void TestLocalPane::treeWalksToTheDeepestExistingFolder() {
    QFETCH(QString, wanted);
    QFETCH(QString, selected);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("Music/Songs"));
    QVERIFY(QDir(dir.path()).mkpath("Music2/Songs"));
    LocalTreeModel tree;
    tree.buildRoots();
    QCOMPARE(tree.rowCount(), 1);
    QVERIFY(tree.hasChildren(tree.index(0, 0)));
    const QModelIndex node = tree.expandToPath(dir.filePath(wanted));
    QCOMPARE(tree.nodePath(node), withSeparator(dir.filePath(selected)));
    // The walk read the folders on its way: Music beside Music2, with its expansion mark.
    const QModelIndex music = tree.childNamed(node.parent(), "Music");
    if (selected == "Music2") {
        QVERIFY(music.isValid());
        QVERIFY(tree.hasChildren(music));
        QCOMPARE(tree.rowCount(music), 0);  // not read until expanded or selected
    }
}

void TestLocalPane::refreshKeepsNodesAndFollowsTheDisk() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("b/inner"));
    QVERIFY(QDir(dir.path()).mkpath("d"));
    LocalTreeModel tree;
    tree.buildRoots();
    const QModelIndex top = tree.expandToPath(dir.path());
    tree.refreshSubfolders(top);
    const QPersistentModelIndex inner = tree.expandToPath(dir.filePath("b/inner"));
    QVERIFY(inner.isValid());
    // Folders come and go: the new ones appear in order, the vanished one goes, and the node
    // of "b" (with the selection below it) stays.
    QVERIFY(QDir(dir.path()).mkdir("a"));
    QVERIFY(QDir(dir.path()).mkdir("C"));
    QVERIFY(QDir(dir.path()).rmdir("d"));
    QVERIFY(QDir(dir.path()).mkdir(".hidden"));
    tree.refreshSubfolders(top);
    QStringList names;
    for (int row = 0; row < tree.rowCount(top); ++row) {
        names << tree.index(row, 0, top).data().toString();
    }
    QCOMPARE(names, QStringList({"a", "b", "C"}));
    QVERIFY(inner.isValid());
    QCOMPARE(tree.nodePath(inner), withSeparator(dir.filePath("b/inner")));
    QVERIFY(!tree.hasChildren(tree.childNamed(top, "a")));
}

void TestLocalPane::nvbFilesShowTheirItem() {
    QTemporaryDir dir;
    makeItem(dir.filePath("a tone.nvb"), DataType::Tone, 60, "Velvet  ");
    makeItem(dir.filePath("b reg.NVB"), DataType::Registration, 176, "Preset13");
    makeItem(dir.filePath("c song.nvb"), DataType::Song, 1800, "Sunrise ");
    // A song cut short before its name's place: its type, and no name.
    QFile song(dir.filePath("c song.nvb"));
    QVERIFY(song.copy(dir.filePath("d cut.nvb")));
    QFile cut(dir.filePath("d cut.nvb"));
    QVERIFY(cut.resize(64 + 6));
    makeFile(dir.filePath("e text.nvb"), 300);
    QVERIFY(QDir(dir.path()).mkdir("f folder.nvb"));
    // A FIFO named like an item (a system entry, not listed): read, it would wait for ever.
    QCOMPARE(::mkfifo(qPrintable(dir.filePath("g fifo.nvb")), 0600), 0);
    makeItem(dir.filePath("h tone.txt"), DataType::Tone, 60, "Hidden  ");

    LocalListModel model;
    model.list(withSeparator(dir.path()));
    QCOMPARE(model.columnCount(), 6);
    QCOMPARE(model.headerData(LocalListModel::ItemNameColumn, Qt::Horizontal, Qt::DisplayRole),
             QVariant("Item Name"));
    QStringList shown;
    for (int row = 0; row < model.rowCount(); ++row) {
        shown << model.index(row, LocalListModel::NameColumn).data().toString() + '|' +
                     model.index(row, LocalListModel::ItemNameColumn).data().toString() + '|' +
                     model.index(row, LocalListModel::ItemTypeColumn).data().toString();
    }
    QCOMPARE(shown, (QStringList{"a tone.nvb|Velvet  |Tone", "b reg.NVB|Preset13|Registraion",
                                 "c song.nvb|Sunrise |Song", "d cut.nvb||Song", "e text.nvb||",
                                 "f folder.nvb||", "h tone.txt||"}));
}

QTEST_MAIN(TestLocalPane)
#include "tst_localpane.moc"
