#include "rawmidicable.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QRegularExpression>
#include <array>
#include <cerrno>

#include "platform/systemerror.h"

namespace kbdsim {
namespace {

// Bytes read at once; the device's own buffer holds more.
constexpr std::size_t kReadChunk = 256;
// A clock byte after every this many bytes of a message, as a sequencer that runs its clock
// while the keyboard dumps an item would put them.
constexpr std::size_t kClockEvery = 48;
// The longest a write waits for room before it looks again.
constexpr int kRoomWaitMs = 100;

[[noreturn]] void fail(const QString& what, int error) {
    throw platform::SystemError(
        (what + ": " + QString::fromLocal8Bit(snd_strerror(error))).toStdString());
}

}  // namespace

QString RawMidiCable::alsaName(const QString& device) {
    static const QRegularExpression file(
        QRegularExpression::anchoredPattern(QStringLiteral("/dev/snd/midiC(\\d+)D(\\d+)")));
    const auto match = file.match(device);
    return match.hasMatch() ? QStringLiteral("hw:%1,%2").arg(match.captured(1), match.captured(2))
                            : device;
}

RawMidiCable::RawMidiCable(const QString& device, Receiver receiver)
    : receiver_(std::move(receiver)) {
    const QByteArray name = alsaName(device).toLocal8Bit();
    if (const int error = snd_rawmidi_open(&in_, &out_, name.constData(), SND_RAWMIDI_NONBLOCK);
        error < 0) {
        fail("cannot open the raw MIDI device " + device, error);
    }
    // Both ends stay non-blocking: alsa-lib opens one file for the two directions, so a
    // blocking output would make the reading thread's reads block too (and the cable could not
    // be closed). A write that finds no room waits for it in poll() instead.
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int error = errno;
        snd_rawmidi_close(in_);
        snd_rawmidi_close(out_);
        fail("cannot make the cable's wake-up pipe", -error);
    }
    thread_ = std::thread([this] { read(); });
}

RawMidiCable::~RawMidiCable() {
    stopping_ = true;
    const char wake = 1;
    [[maybe_unused]] const auto written = ::write(wake_[1], &wake, 1);
    thread_.join();
    snd_rawmidi_close(in_);
    snd_rawmidi_drain(out_);
    snd_rawmidi_close(out_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void RawMidiCable::send(const std::vector<std::uint8_t>& message) {
    const std::vector<std::uint8_t> bytes =
        noise_ ? sysex::withRealTimeBytes(message, kClockEvery) : message;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = snd_rawmidi_write(out_, bytes.data() + done, bytes.size() - done);
        if (written == -EINTR) {
            continue;
        }
        if (written == -EAGAIN) {
            waitForRoom();
            continue;
        }
        if (written < 0) {
            fail(QStringLiteral("the raw MIDI device refused %1 bytes").arg(bytes.size()),
                 int(written));
        }
        done += std::size_t(written);
    }
}

void RawMidiCable::waitForRoom() {
    const int count = snd_rawmidi_poll_descriptors_count(out_);
    std::vector<pollfd> fds(static_cast<std::size_t>(count));
    snd_rawmidi_poll_descriptors(out_, fds.data(), unsigned(count));
    ::poll(fds.data(), fds.size(), kRoomWaitMs);
}

void RawMidiCable::read() {
    const int count = snd_rawmidi_poll_descriptors_count(in_);
    std::vector<pollfd> fds(std::size_t(count) + 1);
    fds[0] = {wake_[0], POLLIN, 0};
    snd_rawmidi_poll_descriptors(in_, fds.data() + 1, unsigned(count));
    std::array<std::uint8_t, kReadChunk> buffer{};
    while (!stopping_) {
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
            return;
        }
        for (;;) {
            const ssize_t got = snd_rawmidi_read(in_, buffer.data(), buffer.size());
            if (got == -EAGAIN || got == 0) {
                break;  // all read for now
            }
            if (got < 0) {
                return;  // the device is gone: poll() would report it without end
            }
            for (auto& message : reader_.feed({buffer.data(), std::size_t(got)})) {
                receiver_(std::move(message));
            }
        }
    }
}

}  // namespace kbdsim
