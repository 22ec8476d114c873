#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>

class QLocalServer;
class QLocalSocket;

// There is never more than one window per user. The running one listens on a local socket in
// the user's runtime folder; a second start (a file opened from the file manager, say) hands
// its file over — or nothing, to bring the window to the front — and exits.
class WindowHandOver : public QObject {
    Q_OBJECT
public:
    explicit WindowHandOver(QObject* parent = nullptr);

    // Starts listening; call only while holding the window's lock (any socket left by a copy
    // that crashed is removed first). Returns false with `error` set when it cannot.
    bool listen(QString* error);

    // From the second start: hands `filePath` (absolute; empty for none) to the running window
    // and waits for its receipt. False with `error` set when no window took it.
    static bool handOver(const QString& filePath, QString* error);

    static QString socketPath();

Q_SIGNALS:
    // A second start handed this file over (empty: none); the window shows it and comes forward.
    // Emitted from the event loop, never from inside the connection's own handler.
    void handedOver(const QString& filePath);

private:
    void takeConnection();
    // Answers the socket's line if it has come in whole; false when it has not.
    bool readLine(QLocalSocket* socket);
    // Room for one more connection: the oldest that has not said its line yet goes.
    void makeRoom();

    QLocalServer* server_;
    // The connections whose line has not come yet, oldest first.
    std::deque<QPointer<QLocalSocket>> waiting_;
};
