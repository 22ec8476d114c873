// The ALSA sequencer as the MIDI service uses it.
//
// Unlike JACK, ALSA through RtMidi 5.0 is synchronous where it matters: openPort() subscribes
// before it returns, sendMessage() drains the message into the kernel before it returns, and
// closePort() joins the input thread, so after it no callback runs. What ALSA shares with JACK
// is the numbering: RtMidi opens by index into a list that changes when a device comes or goes,
// and lists the program's own ports too. So a port is looked up by name in the same client
// right before it is opened, and the name at that index is checked again once it is open.

#include <alsa/asoundlib.h>

#include <QFile>
#include <mutex>

#include "portbyname.h"
#include "rtmidiclient.h"
#include "systembackend.h"
#include "systemerror.h"

namespace platform {
namespace {

const char* const kInputPortName = "in";
const char* const kOutputPortName = "out";
// The driver's version line in /proc is one short line.
constexpr qint64 kMaxVersionLine = 256;

void ignoreAlsaLibMessage(const char*, int, const char*, int, const char*, ...) {}

using rtmidi::PooledClient;

using portbyname::openByName;

class AlsaBackend final : public SystemBackend, public std::enable_shared_from_this<AlsaBackend> {
public:
    bool isAlive() const override { return true; }

    std::vector<std::string> inputNames() override { return names(inputs_); }
    std::vector<std::string> outputNames() override { return names(outputs_); }
    std::string listingProblem() const override { return listingProblem_; }
    std::string versionText() const override;

    std::unique_ptr<InputPort> openInput(const std::string& name, MidiReceiver receiver) override;
    std::unique_ptr<OutputPort> openOutput(const std::string& name) override;

private:
    // Listed through an idle client of the direction (a sequencer that refuses a new client
    // lists nothing).
    template <typename Client>
    std::vector<std::string> names(std::vector<std::unique_ptr<PooledClient<Client>>>& pool) {
        try {
            auto* pooled = acquire(pool);
            auto found = portbyname::namesOf(pooled->client->port(), rtmidi::isOwnPort);
            pooled->inUse = false;
            listingProblem_.clear();
            return found;
        } catch (const MidiSystemError& e) {
            listingProblem_ = e.what();
            return {};
        }
    }

    template <typename Client>
    PooledClient<Client>* acquire(std::vector<std::unique_ptr<PooledClient<Client>>>& pool) {
        for (auto& pooled : pool) {
            if (!pooled->inUse) {
                pooled->inUse = true;
                return pooled.get();
            }
        }
        requireRoomForAClient();
        pool.push_back(rtmidi::makePooledClient<Client>(RtMidi::LINUX_ALSA,
                                                        rtmidi::ownClientName(++clientsMade_)));
        pool.back()->inUse = true;
        return pool.back().get();
    }

    // RtMidi 5.0 prints its own complaint to stderr before it throws when the sequencer
    // refuses a client (and alsa-lib one more): the sequencer is asked first, so that the user
    // reads one plain sentence instead.
    static void requireRoomForAClient() {
        snd_seq_t* probe = nullptr;
        if (const int error = snd_seq_open(&probe, "default", SND_SEQ_OPEN_DUPLEX, 0); error < 0) {
            throw MidiSystemError(ErrorCode::SequencerFull,
                                  {QString::fromLocal8Bit(snd_strerror(error))});
        }
        snd_seq_close(probe);
    }

    int clientsMade_ = 0;
    std::string listingProblem_;
    std::vector<std::unique_ptr<PooledClient<rtmidi::InputClient>>> inputs_;
    std::vector<std::unique_ptr<PooledClient<rtmidi::OutputClient>>> outputs_;
};

class AlsaInput final : public InputPort {
public:
    AlsaInput(std::shared_ptr<AlsaBackend> backend, PooledClient<rtmidi::InputClient>* pooled)
        : backend_(std::move(backend)), pooled_(pooled) {}
    ~AlsaInput() override {
        // closePort joins the input thread; the receiver is cleared first all the same.
        pooled_->client->stopReceiving();
        pooled_->client->port().closePort();
        pooled_->inUse = false;
    }
    void flush() override { pooled_->client->flush(); }

private:
    std::shared_ptr<AlsaBackend> backend_;
    PooledClient<rtmidi::InputClient>* pooled_;
};

class AlsaOutput final : public OutputPort {
public:
    AlsaOutput(std::shared_ptr<AlsaBackend> backend, PooledClient<rtmidi::OutputClient>* pooled)
        : backend_(std::move(backend)), pooled_(pooled) {}
    ~AlsaOutput() override {
        pooled_->client->port().closePort();
        pooled_->inUse = false;
    }

    void send(std::span<const std::uint8_t> message) override {
        pooled_->client->port().sendMessage(message.data(), message.size());
        pooled_->client->errors().throwIfAnything();
    }

private:
    std::shared_ptr<AlsaBackend> backend_;
    PooledClient<rtmidi::OutputClient>* pooled_;
};

std::unique_ptr<InputPort> AlsaBackend::openInput(const std::string& name, MidiReceiver receiver) {
    PooledClient<rtmidi::InputClient>* pooled = acquire(inputs_);
    auto handle = std::make_unique<AlsaInput>(shared_from_this(), pooled);
    pooled->client->startReceiving(std::move(receiver));
    openByName(pooled->client->port(), pooled->client->errors(), name, kInputPortName);
    return handle;
}

std::unique_ptr<OutputPort> AlsaBackend::openOutput(const std::string& name) {
    PooledClient<rtmidi::OutputClient>* pooled = acquire(outputs_);
    auto handle = std::make_unique<AlsaOutput>(shared_from_this(), pooled);
    openByName(pooled->client->port(), pooled->client->errors(), name, kOutputPortName);
    return handle;
}

}  // namespace

std::string AlsaBackend::versionText() const {
    // The library's version, and the kernel driver's from its line in /proc ("Advanced Linux
    // Sound Architecture Driver Version k6.1.0-18-amd64."): names and numbers only, the same in
    // every language.
    std::string text = std::string("ALSA ") + snd_asoundlib_version();
    QFile driver(QStringLiteral("/proc/asound/version"));
    if (driver.open(QIODevice::ReadOnly)) {
        QByteArray line = driver.readLine(kMaxVersionLine).trimmed();
        if (line.endsWith('.')) {
            line.chop(1);
        }
        if (const qsizetype at = line.lastIndexOf(' '); at >= 0) {
            text += " (" + line.mid(at + 1).toStdString() + ")";
        }
    }
    return text;
}

std::shared_ptr<SystemBackend> connectAlsa() {
    // Without the sequencer device the library would only print complaints.
    if (!QFile::exists(QStringLiteral("/dev/snd/seq"))) {
        return nullptr;
    }
    // alsa-lib prints every failure to stderr besides returning it; ours are reported, once.
    snd_lib_error_set_handler(&ignoreAlsaLibMessage);
    return std::make_shared<AlsaBackend>();
}

}  // namespace platform
