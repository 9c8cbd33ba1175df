// What the window tells the desktop during and after a run, heard on a private session bus that
// this test starts: the taskbar entry's progress and the notification at the end.
#include "app/unit1.h"

#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"

#include <QApplication>
#include <QDBusConnection>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

using testing_support::TempFolder;
using testing_support::writeSamplePhoto;

namespace {

QString busAddress;

// Stands in for the taskbar and the notification daemon.
class Desktop : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<QVariantMap> updates;
    QStringList notifications;

public slots:
    uint Notify(const QString &application, uint, const QString &icon, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &hints, int)
    {
        notifications << QStringList{application, icon, summary, body,
                                     hints.value("desktop-entry").toString()}
                             .join('|');
        return uint(notifications.size());
    }

    void update(const QString &application, const QVariantMap &properties)
    {
        QVariantMap seen = properties;
        seen.insert("application", application);
        updates << seen;
    }
};

} // namespace

class tst_DesktopBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void taskbarEntryFollowsTheRun();
    void longRunEndingUnseenIsNotified();

private:
    // Runs the window over photos a.jpg .. of folder into itself until its end is shown.
    void runOver(TForm1 &window, const TempFolder &folder, int photos)
    {
        for (int i = 0; i < photos; ++i)
            writeSamplePhoto(folder.file(std::string(1, char('a' + i)) + ".jpg"), 40, 30, i);
        window.Edit1->setText(QString::fromStdString(folder.path()));
        window.Edit2->setText(QString::fromStdString(folder.path()));
        QSignalSpy finished(&window, &TForm1::runFinished);
        window.btnOK->click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
    }

    Desktop m_desktop;
};

void tst_DesktopBus::initTestCase()
{
    QDBusConnection listener = QDBusConnection::connectToBus(busAddress, "desktop");
    QVERIFY(listener.isConnected());
    QVERIFY(listener.registerService("org.freedesktop.Notifications"));
    QVERIFY(listener.registerObject("/org/freedesktop/Notifications", &m_desktop,
                                    QDBusConnection::ExportAllSlots));
    QVERIFY(listener.connect(QString(), QString(), "com.canonical.Unity.LauncherEntry", "Update",
                             &m_desktop, SLOT(update(QString, QVariantMap))));
}

// Progress and photos left after each photo, then neither; a short run is not notified.
void tst_DesktopBus::taskbarEntryFollowsTheRun()
{
    m_desktop.updates.clear();
    m_desktop.notifications.clear();
    TempFolder folder;
    TForm1 window;
    window.show();
    runOver(window, folder, 3);

    QTRY_COMPARE(m_desktop.updates.size(), 5);
    QStringList seen;
    for (const QVariantMap &update : std::as_const(m_desktop.updates))
        seen << QString("%1 %2 %3 %4 %5")
                    .arg(update.value("application").toString())
                    .arg(update.value("progress-visible").toBool())
                    .arg(update.value("progress").toDouble(), 0, 'f', 2)
                    .arg(update.value("count-visible").toBool())
                    .arg(update.value("count").toLongLong());
    const QString entry = "application://io.github.lumivor.Lumivor.desktop ";
    QCOMPARE(seen, (QStringList{entry + "1 0.00 1 3", entry + "1 0.33 1 2", entry + "1 0.67 1 1",
                                entry + "1 1.00 1 0", entry + "0 0.00 0 0"}));
    QTest::qWait(100);
    QCOMPARE(m_desktop.notifications, QStringList());
    window.close();
}

void tst_DesktopBus::longRunEndingUnseenIsNotified()
{
    m_desktop.notifications.clear();
    TempFolder folder;
    TForm1 window;
    window.setNotifyAfter(0);
    window.show();
    QWidget elsewhere;    // where the user looks meanwhile
    elsewhere.show();
    elsewhere.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
    runOver(window, folder, 2);

    QTRY_COMPARE(m_desktop.notifications.size(), 1);
    const QStringList parts = m_desktop.notifications.front().split('|');
    QCOMPARE(parts.mid(0, 3), (QStringList{"Lumivor", "io.github.lumivor.Lumivor", "Done"}));
    QVERIFY2(parts[3].startsWith("2 photos enhanced in "), qPrintable(parts[3]));
    QCOMPARE(parts[4], QString("io.github.lumivor.Lumivor"));
    window.close();
}

// The private bus must be the session bus before anything in the process looks for one.
int main(int argc, char **argv)
{
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!daemon.waitForStarted() || !daemon.waitForReadyRead(10000)) {
        std::fprintf(stderr, "tst_desktop_bus: cannot start dbus-daemon (package dbus-daemon)\n");
        return 1;
    }
    busAddress = QString::fromLocal8Bit(daemon.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress.toLocal8Bit());
    int status = 0;
    {
        QApplication application(argc, argv);
        tst_DesktopBus test;
        status = QTest::qExec(&test, argc, argv);
    }
    daemon.kill();
    daemon.waitForFinished();
    return status;
}

#include "tst_desktop_bus.moc"
