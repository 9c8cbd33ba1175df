#include "app/desktop_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace app {

namespace {

void sendTaskbarUpdate(const QVariantMap &properties)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage update
        = QDBusMessage::createSignal(QStringLiteral("/io/github/lumivor/Lumivor"),
                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                     QStringLiteral("Update"));
    update << QStringLiteral("application://%1.desktop").arg(desktopEntryId) << properties;
    bus.send(update);
}

} // namespace

void showTaskbarProgress(int done, int count)
{
    const double progress = count > 0 ? double(done) / double(count) : 0.0;
    sendTaskbarUpdate({{QStringLiteral("progress"), progress},
                       {QStringLiteral("progress-visible"), true},
                       {QStringLiteral("count"), qint64(count - done)},
                       {QStringLiteral("count-visible"), true}});
}

void hideTaskbarProgress()
{
    sendTaskbarUpdate({{QStringLiteral("progress-visible"), false},
                       {QStringLiteral("count-visible"), false}});
}

void notifyDesktop(const QString &summary, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), desktopEntryId}};
    // Application name, no notification to replace, icon, summary, body, no actions, hints,
    // the server's own timeout.
    notify << QStringLiteral("Lumivor") << 0u << desktopEntryId << summary << body
           << QStringList() << hints << -1;
    bus.send(notify);
}

} // namespace app
