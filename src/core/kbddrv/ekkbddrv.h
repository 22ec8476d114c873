#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/ekdatadrive.h"

class EkKbd;
class EkKbdDrv;

// Follows a listing: called once per item visited, with the driver's progress step set.
class EkKbdDrvObserver {
public:
    virtual ~EkKbdDrvObserver() = default;
    virtual void notify(EkKbdDrv& driver) = 0;
};

// What a slot holds on the keyboard, as its parameter requests tell it.
struct SlotState {
    bool present = false;
    std::uint32_t size = 0;
    std::string name;  // a registration's is its fixed name: the keyboard has no request for it
};

// Why the driver does something once more.
enum class RetryReason {
    AnswerLost,      // a request's answer did not come in time: the request is asked again
    ChangeNotShown,  // the keyboard does not show a change it was sent: the change goes again
};

// The program's one gateway to the keyboard's memory. It keeps a tree that mirrors the memory
// (built from the model's fixed layout and filled by a listing), walks it by path with a
// nestable cursor, and asks, deletes and refreshes through its transceiver. Every operation that
// talks to the keyboard opens both ports at its start and closes them at its end, on every path.
class EkKbdDrv {
public:
    // The one driver of the program, created on the first call with this model; later calls
    // return it and ignore the argument. It lives until the program ends.
    static EkKbdDrv& instance(const std::string& model);

    // A driver of its own (tests, tools); the program uses instance().
    explicit EkKbdDrv(const std::string& model);
    ~EkKbdDrv();

    EkKbdDrv(const EkKbdDrv&) = delete;
    EkKbdDrv& operator=(const EkKbdDrv&) = delete;

    // Connects and lists the keyboard: checks its kind and fills every slot's presence, size and
    // name and the free song and rhythm memory, notifying the observers once per item.
    void getList(int inputDevice, int outputDevice);
    // Connects and fills only `slots` (slots of this driver's tree): the kind check, then each
    // slot's presence, size and name, and the free memory of the song and rhythm area when one
    // of them lies there. The rest of the tree keeps what it had. A command on a few slots
    // costs a handful of requests instead of the whole listing's; the window lists instead.
    void getSlots(int inputDevice, int outputDevice, const std::vector<EkData*>& slots);
    // Drops the listing: a fresh layout under the same root name, not connected. No traffic.
    void disconnect();
    bool isConnected() const { return connected_; }
    // How many times the tree has been listed anew or dropped: whoever shows a copy of it takes
    // a new layout (not only new contents) when this changes.
    int listings() const { return listings_; }
    int progressTotal() const { return progressTotal_; }
    int progressStep() const { return progressStep_; }
    // Not owned; attaching the same observer twice keeps one entry.
    void attachObserver(EkKbdDrvObserver* observer);
    // The driver outlives the window: an observer that goes before it takes itself off.
    void detachObserver(EkKbdDrvObserver* observer);

    int areaCount() const { return static_cast<int>(areaNames_.size()); }
    // Empty for an index outside the list.
    std::string areaName(int index) const;
    // The area drive of that exact name, or null.
    EkDataDrive* findArea(const std::string& name) const;
    EkDataDrive& root() const { return *root_; }

    // Paths name a folder: the area name and each folder name, each followed by one separator
    // character (the window writes a backslash), e.g. "Registration:\Bank2\".
    bool hasSubdirectories(const std::string& path) const;
    // Opens a walk of the folder at `path` over the children that share a bit with `mask`;
    // yields the first in `item`. Returns false (and leaves the cursor) when the path names no
    // folder or no child matches. A true return must be paired with closeDirectory(); walks nest.
    bool openDirectory(const std::string& path, std::uint8_t mask, EkData*& item);
    bool nextItem(EkData*& item);
    void closeDirectory();

    // Free bytes of the song and rhythm memory, asked from the keyboard.
    std::uint32_t queryFreeMemory();
    // Re-reads the free memory of a song or rhythm area; other areas need no traffic.
    void refreshAreaMemory(const std::string& areaName);
    // Deletes a song or user rhythm on the keyboard and turns its slot back to a placeholder.
    // Any other item: EkKbdDrvException code 0, nothing sent. The keyboard never answers a
    // deletion, and a cable can lose it: the slot's size is asked afterwards, the deletion
    // sent again while the slot still holds the item, and after kChangeTries platform::
    // SystemError DeleteNotConfirmed names what the slot holds; the tree then keeps the item.
    void deleteData(EkData& item);
    // What `slot` (a slot of this tree) holds on the keyboard now; the tree is left as it is.
    // Tones and DSP settings: their name (two requests); songs and rhythms: size, and name
    // when present (one or three); registrations: nothing asked.
    SlotState readSlot(const EkData& slot);
    // Reads what `slot` (a slot of this tree) holds now into the tree, as getSlots does for one
    // slot, without the kind check and the free memory. A change reads its slot this way right
    // before it keeps the old item and sends: the listing may be minutes old, and the keyboard's
    // panel (or another program) may have changed the slot since; the kept copy and the check
    // that the keyboard shows the change must start from what the slot holds, not from what the
    // program last saw. A registration's slot asks nothing (its name and size are fixed).
    void refreshSlot(EkData& slot);
    // Whether readSlot asks the keyboard for the name of slots of `type`.
    static bool namesAreAsked(std::uint16_t type);
    // How often a change the keyboard does not show (a deletion, an item sent) is made in all
    // before it fails: the keyboard answers neither a deletion nor a send's End, so either can
    // be lost on the cable without a word.
    static constexpr int kChangeTries = 3;

    int inputDevice() const { return inputDevice_; }
    int outputDevice() const { return outputDevice_; }
    // How many requests were asked again after their answer was lost, since the driver began.
    int requestRetries() const;
    // Who hears of each request asked again and each change made again, as it happens (the
    // window's status line, the command-line tool's --verbose); a keyboard stream of this
    // driver tells it of the items it sends again.
    void setRetryListener(std::function<void(RetryReason)> listener);
    void noteRetry(RetryReason reason) const;

    // Marks the keyboard busy for as long as it lives: a driver operation started meanwhile (a
    // click served from inside a wait) throws DriverBusyError instead of interleaving. The
    // driver holds one around each of its operations; a data transfer holds one around its own.
    class BusyScope {
    public:
        explicit BusyScope(EkKbdDrv& driver);
        ~BusyScope() { busy_ = false; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        bool& busy_;
    };
    bool isBusy() const { return busy_; }

private:
    // Opens the ports with the stored device numbers and closes them when it goes, however the
    // operation ends.
    class PortSession;

    struct CursorState {
        EkDataDrive* folder = nullptr;
        std::uint32_t index = 0;
        std::uint8_t mask = 0;
    };

    void rebuildTree(const std::string& rootName);
    // Asks the keyboard's kind: EkKbdDrvException UnknownKeyboard unless it is this model's.
    void requireExpectedKind();
    void fillFolder(EkDataDrive& folder);
    void fillSlot(EkData& slot);
    SlotState askSlot(const EkData& slot);
    void notifyObservers();
    EkDataDrive* resolve(const std::string& path) const;
    bool scan(EkData*& item);

    std::vector<EkKbdDrvObserver*> observers_;
    std::function<void(RetryReason)> retryListener_;
    // Behind a pointer, so that users of the data tree do not compile the MIDI port stack.
    std::unique_ptr<EkKbd> transceiver_;
    int progressStep_ = 0;
    int progressTotal_ = 0;
    int inputDevice_ = 0;
    int outputDevice_ = 0;
    int expectedKind_ = -1;
    bool connected_ = false;
    int listings_ = 0;
    bool busy_ = false;
    std::vector<std::string> areaNames_;
    std::unique_ptr<EkDataDrive> root_;
    std::vector<CursorState> cursorStack_;
    CursorState cursor_;
};
