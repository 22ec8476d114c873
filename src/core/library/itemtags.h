#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "libraryindex.h"

// The user's tags and notes on their items ("pads", "live set", "lesson 3"; why an item
// matters). They belong to an item's content, its hash as the library's index computes it
// (Index::itemHash), so they follow the item to every copy of it, to every slot it is sent to
// and across renames of its file.
//
// They are the user's own words, which no scan can make again: they are kept in a database of
// their own in the data folder ("tags.sqlite"), never in the index (a cache of the files, set
// aside and rebuilt when damaged). A damaged or newer database is said and left as it is, never
// replaced.
namespace library {

// An item's tags and note.
struct ItemTags {
    QString sha256;
    QStringList tags;  // sorted, each once
    QString note;
};

class TagStore {
public:
    // The longest tag a user can give.
    static constexpr int kMaxTagLength = 64;

    // Opens the tags at `databasePath` (created when missing). Throws platform::SystemError
    // (TagsUnreadable, TagsOfNewerProgram) when they cannot be used.
    explicit TagStore(const QString& databasePath = defaultPath());
    ~TagStore();
    TagStore(const TagStore&) = delete;
    TagStore& operator=(const TagStore&) = delete;

    static QString defaultPath();

    // A tag as given, with the spaces around it gone; SystemError TagEmpty, TagTooLong or
    // TagHasControl when it cannot be one.
    static QString checkedTag(const QString& tag);
    // SystemError TagHasControl when a note holds control characters (a line break included).
    static void checkNote(const QString& note);

    ItemTags of(const QString& sha256) const;
    // Adds and removes tags of each item, and sets their note when `note` is given (an empty
    // one removes it), all in one transaction. Every tag and the note are checked first.
    void change(const QStringList& sha256s, const QStringList& added, const QStringList& removed,
                const std::optional<QString>& note);

    // The items that have `tag` (in any case), by hash.
    QStringList withTag(const QString& tag) const;
    // The items whose tags or note hold every one of `words` (in any case), by hash.
    QStringList withText(const QString& words) const;
    // Every item with a tag or a note.
    std::vector<ItemTags> all() const;
    // Every tag given to some item, sorted (in any case), each once.
    QStringList allTags() const;
    // Keeps of `entries` those whose item has `tag` (when given) and whose tags or note hold
    // every one of `words` (when given); neither given keeps them all.
    void narrow(std::vector<Entry>& entries, const QString& tag, const QString& words) const;
    // The tags of these items together, each once, sorted, as a list shows them ("live, pads").
    QString tagsText(const QStringList& sha256s) const;

    // As a small JSON file, to take to a new PC: {"format": 1, "items": [{"sha256", "tags",
    // "note"}...]}. Written whole or not at all.
    void exportTo(const QString& path) const;
    // Takes the tags of such a file in: its tags join those each item has; its note is taken
    // where the item has none. Nothing is changed when the file is unusable (TagFileUnusable).
    // Returns how many items the file named.
    int importFrom(const QString& path);

private:
    void open();
    QSqlDatabase database() const;

    QString path_;
    QString connection_;
};

}  // namespace library
