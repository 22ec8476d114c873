#include "windowhandover.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <chrono>

#include "platform/keyboardsession.h"

namespace {

// Both ends are on this machine and the window answers from its event loop at once; a window
// that does not within this time is frozen, and the second start says so.
constexpr std::chrono::milliseconds kHandOverTime{3000};
// One line each way: the file's path, then the receipt.
constexpr char kReceipt[] = "ok\n";
// A path longer than this is not a file the window could show.
constexpr qint64 kMaxLine = 64 * 1024;
// A second start writes its line at once: a connection silent for this long is dropped, so
// that nothing can hold the window's connections open.
constexpr std::chrono::milliseconds kIdleTime{5000};
// Connections held at once. Beyond it the oldest silent one is dropped for the newcomer, so no
// number of connections that say nothing keeps a real second start out, and the window's open
// files stay bounded.
constexpr std::size_t kMaxConnections = 32;

}  // namespace

WindowHandOver::WindowHandOver(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    // Only this user may hand files over.
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &WindowHandOver::takeConnection);
}

QString WindowHandOver::socketPath() {
    return QDir(platform::userRuntimeFolder()).filePath("NvbMan.socket");
}

bool WindowHandOver::listen(QString* error) {
    QLocalServer::removeServer(socketPath());
    if (!server_->listen(socketPath())) {
        *error = server_->errorString();
        return false;
    }
    return true;
}

void WindowHandOver::takeConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        makeRoom();
        waiting_.emplace_back(socket);
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
        idle->start(kIdleTime);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readLine(socket); });
    }
}

void WindowHandOver::makeRoom() {
    std::erase_if(waiting_, [](const QPointer<QLocalSocket>& socket) {
        return socket.isNull() || socket->state() != QLocalSocket::ConnectedState;
    });
    while (waiting_.size() >= kMaxConnections) {
        QPointer<QLocalSocket> oldest = waiting_.front();
        waiting_.pop_front();
        if (oldest.isNull()) {
            continue;
        }
        // Its line may be in the kernel's buffer with its readyRead not yet delivered (a burst
        // of connections is taken in one go): looked for without waiting, and answered.
        oldest->waitForReadyRead(0);
        if (!readLine(oldest)) {
            oldest->abort();
        }
    }
}

bool WindowHandOver::readLine(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxLine) {
            socket->abort();
        }
        return false;
    }
    std::erase(waiting_, socket);
    const QString path = QString::fromUtf8(socket->readLine(kMaxLine)).chopped(1);
    socket->write(kReceipt);
    socket->flush();
    socket->disconnectFromServer();
    // Shown once this handler has returned: what the window does with the file (an error box
    // with its own event loop, say) must never run inside the socket's handler, where the
    // socket may be deleted under it.
    QMetaObject::invokeMethod(
        this, [this, path] { Q_EMIT handedOver(path); }, Qt::QueuedConnection);
    return true;
}

bool WindowHandOver::handOver(const QString& filePath, QString* error) {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    const int waitMs = int(kHandOverTime.count());
    if (!socket.waitForConnected(waitMs)) {
        *error = socket.errorString();
        return false;
    }
    socket.write(filePath.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(waitMs)) {
        *error = socket.errorString();
        return false;
    }
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(waitMs)) {
            *error = "the running window did not answer";
            return false;
        }
    }
    return socket.readLine() == kReceipt;
}
