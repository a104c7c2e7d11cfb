#pragma once

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QObject>

#include <utility>

// Runs HANDLER with CALL's reply (or its error, a timeout included) on
// CONTEXT's thread once it comes, or never when CONTEXT is gone by then.
template <typename Handler>
void whenAnswered(const QDBusPendingCall& call, QObject* context, Handler handler) {
    auto* watcher = new QDBusPendingCallWatcher(call, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [handler = std::move(handler)](QDBusPendingCallWatcher* finished) mutable {
                         finished->deleteLater();
                         handler(finished->reply());
                     });
}
