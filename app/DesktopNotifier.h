#pragma once

#include <QObject>
#include <QString>

// Shows a notification through the desktop's notification service
// (org.freedesktop.Notifications on the session bus). Each one replaces the
// last, so a player away for many moves finds one note, not a pile. Without a
// session bus or a service nothing is shown and nothing waits.
class TDesktopNotifier : public QObject {
public:
    using QObject::QObject;

    void Show(const QString& title, const QString& body);

private:
    uint32_t LastId = 0; // the service's number for the note shown last
};
