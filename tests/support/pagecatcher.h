#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Takes the place of the desktop's browser in a test: set as QDesktopServices' handler of a
// scheme, it keeps the pages the program asks to open.
class PageCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened << url; }
};
