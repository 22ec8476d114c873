#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "keyboardmemory.h"

namespace kbdsim {

// How the simulated cable and instrument take their time.
struct Timing {
    // Every message takes its wire time at MIDI's 31,250 baud (10 bits a byte), in both
    // directions, one message after another on each of the two cables.
    bool paced = true;
    // Time the instrument takes before it starts an answer.
    std::chrono::microseconds processingDelay{0};
};

// Misbehaviour to inject, for testing how the program copes.
struct Faults {
    bool silent = false;  // answer nothing at all
    // While receiving an item: answer block `block` with `status` in place of Ack, `count` times
    // (a negative count: every time). The block is not kept.
    struct BlockStatus {
        int block = -1;
        int status = 1;
        int count = 1;
    } blockStatus;
    // While sending an item: a Status `status` in place of block `block`; the fetch then ends.
    struct FetchStatus {
        int block = -1;
        int status = 1;
    } fetchStatus;
    int corruptChecksumBlock = -1;  // while sending an item: this block's checksum is wrong
    bool noise = false;  // active sensing, clock and another maker's SysEx before each answer
    int dropAnswer = 0;  // the n-th answer (from 1) is never sent; 0: none dropped
    // The n-th answer (from 1) goes out with kOversizedPadding data bytes more before its end,
    // as from a keyboard (or a cable) gone wrong; 0: none.
    int oversizedAnswer = 0;
    static constexpr std::size_t kOversizedPadding = 64 * 1024;
    bool keepWrong = false;  // a received item is kept with its last data word changed
    // Every n-th parameter request (from the n-th on) gets no answer, as when the MIDI service
    // drops a message; 0: every request is answered.
    int unansweredRequestEvery = 0;
    // Messages that never arrive, as on a cable (or a MIDI service) that loses one now and then:
    // how many more of each kind are lost on the way, the next ones first; a negative count
    // loses every one. `end`: the End status that closes an item sent to the keyboard; `erase`:
    // a song or rhythm deletion; `block`: a data block sent to the keyboard; `ack`: the Ack
    // status of a fetch; `answer`: the keyboard's answer to a parameter request. The first
    // four travel towards the keyboard, the last one towards the program.
    // `afterChange`: how many answers to parameter requests are lost after each change the
    // keyboard makes without answering it (an item committed on its End, a deletion), as a
    // keyboard busy tidying its memory would leave them: the questions that confirm a change.
    struct Losses {
        int end = 0;
        int erase = 0;
        int block = 0;
        int ack = 0;
        int answer = 0;
        int afterChange = 0;
    } lose;
    // Every n-th message that the keyboard never answers (an End, a deletion), counted from the
    // n-th on, is lost; 0: none. Answered messages are not counted: their loss shows.
    int loseUnansweredEvery = 0;
    // The keyboard's panel at work beside the program: once the `afterRequest`-th parameter
    // request (from 1) has been answered, the item of `from` is copied into `to` (an empty
    // `from` empties `to`), as a user who changes a slot between a program's listing and its
    // change would. 0: never.
    struct PanelCopy {
        int afterRequest = 0;
        SlotRef from;
        SlotRef to;
    } panelCopy;
};

// Adds the losses that `lossList` names to `faults`: "KIND:N" items separated by commas, KIND one
// of end, delete, block, ack, answer, N the number of messages lost (-1: every one). Returns
// false, with the reason in `error`, for a list it cannot read; `faults` is then unchanged.
bool addLosses(Faults& faults, const QString& lossList, QString* error);

// Sets `faults.panelCopy` from "N:FROM:TO", FROM and TO slots as the programs write them
// ("tone:5", "dsp:0", "reg:1.2", "song:1", "rhythm:3"). Returns false, with the reason in
// `error`, for a text it cannot read; `faults` is then unchanged.
bool setPanelCopy(Faults& faults, const QString& copy, QString* error);

// The MLS-850's side of the MIDI cable: it answers parameter requests from its memory, carries
// out deletions, serves fetches block by block waiting for each Ack, and takes in sent items
// block by block, committing them on End. Runs on the thread of its event loop; messages reach
// receive() and leave through the transmitter.
class SimulatedKeyboard : public QObject {
    Q_OBJECT
public:
    using Transmitter = std::function<void(const std::vector<std::uint8_t>&)>;

    // How long the instrument waits for the program's Ack before it gives a fetch up.
    static constexpr std::chrono::milliseconds kAckPatience{2000};

    explicit SimulatedKeyboard(KeyboardMemory memory = KeyboardMemory::demo(),
                               QObject* parent = nullptr);
    ~SimulatedKeyboard() override;

    void setTransmitter(Transmitter transmitter) { transmitter_ = std::move(transmitter); }
    void setTiming(const Timing& timing) { timing_ = timing; }
    void setFaults(const Faults& faults) { faults_ = faults; }
    const Faults& faults() const { return faults_; }

    KeyboardMemory& memory() { return memory_; }
    const KeyboardMemory& memory() const { return memory_; }

    // A message from the program starts down the cable to the instrument.
    void receive(const std::vector<std::uint8_t>& message);

    // Time a message of `bytes` bytes takes on the cable.
    static std::chrono::microseconds wireTime(std::size_t bytes);

    // Whether every message that started down the cable has reached the instrument and been
    // dealt with: only then is a sent item's End committed.
    bool hasTakenEverything() const { return messagesOnTheCable_ == 0; }

Q_SIGNALS:
    // A message reached the instrument (fromProgram) or reached the program.
    void traffic(bool fromProgram, const QByteArray& message);
    // The memory changed through a committed item or a deletion.
    void memoryChanged();
    // The last message on the cable towards the instrument was dealt with.
    void tookEverything();

private:
    struct Fetch;
    struct Reception;
    struct Message;

    using Clock = std::chrono::steady_clock;

    void schedule(Clock::time_point due, std::function<void()> work);
    void handle(const std::vector<std::uint8_t>& bytes);
    // Whether the message from the program is lost on the way, by the loss faults.
    bool lostOnTheWay(const std::vector<std::uint8_t>& bytes);
    void answerRequest(const Message& request);
    void runCommand(const Message& command);
    // The panel's copy of the panelCopy fault.
    void panelCopy();
    void startFetch(const Message& request);
    void sendNextBlock();
    void takeBlock(const Message& block);
    void takeStatus(const Message& status);
    void commitReception(const Message& end);

    void sendParam(const Message& request, std::uint32_t value);
    void sendStatus(std::uint8_t area, int address, std::uint8_t status);
    void answer(std::vector<std::uint8_t> message);
    void send(std::vector<std::uint8_t> message);

    KeyboardMemory memory_;
    Timing timing_;
    Faults faults_;
    Transmitter transmitter_;
    Clock::time_point inboundFreeAt_{};
    Clock::time_point outboundFreeAt_{};
    int messagesOnTheCable_ = 0;
    int answersSent_ = 0;
    int requestsTaken_ = 0;
    int unansweredTaken_ = 0;
    int answersToLose_ = 0;  // after a change, by the afterChange loss
    std::unique_ptr<Fetch> fetch_;
    std::unique_ptr<Reception> reception_;
    QTimer fetchPatience_;
};

}  // namespace kbdsim
