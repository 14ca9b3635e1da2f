#include "app/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

void TDesktopNotifier::Show(const QString& title, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Application, the note it replaces, icon, summary, body, actions, hints,
    // and -1: the service's own time to show it.
    call << QStringLiteral("Vantaro") << LastId << QStringLiteral("vantaro") << title << body << QStringList()
         << QVariantMap() << int32_t(-1);
    // Never waited for: a slow or missing service must not hold up the table.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        QDBusPendingReply<uint32_t> reply = *done;
        if (reply.isValid()) LastId = reply.value();
        done->deleteLater();
    });
}
