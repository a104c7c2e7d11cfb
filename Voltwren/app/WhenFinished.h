#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

#include <utility>

// Runs HANDLER with FUTURE's result on OWNER's thread once the background
// work is done, or never when OWNER is gone by then. QFuture::then with a
// context object asserts, in Qt 6.4, when that object died first; a watcher
// owned by OWNER simply goes with it.
template <typename T, typename Handler>
void whenFinished(QObject* owner, QFuture<T> future, Handler handler) {
    auto* watcher = new QFutureWatcher<T>(owner);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, handler = std::move(handler)]() mutable {
                         watcher->deleteLater();
                         handler(watcher->result());
                     });
    watcher->setFuture(std::move(future));
}
