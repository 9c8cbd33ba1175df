#pragma once

#include <QString>

namespace app {

// The id of the program's desktop entry: how the taskbar and the notification daemon find its
// name and icon.
inline const QString desktopEntryId = QStringLiteral("io.github.lumivor.Lumivor");

// A run's progress and end where a Linux desktop shows them beside the window, on the session
// bus: the taskbar entry (com.canonical.Unity.LauncherEntry, read by KDE Plasma and the GNOME
// docks) and a notification (org.freedesktop.Notifications). Without a session bus, or with no
// one listening, nothing happens.

// The taskbar entry shows done of count as its progress and the photos left as its count.
void showTaskbarProgress(int done, int count);

// The taskbar entry shows neither.
void hideTaskbarProgress();

// A desktop notification from the program; nothing waits for it to be shown.
void notifyDesktop(const QString &summary, const QString &body);

} // namespace app
