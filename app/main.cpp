// Lumivor: the window program. It takes nothing from the command line but Qt's own options, and
// exits with 0, or with 1 when there is no display to open the window on; stopped by a signal, it
// ends as killed by it.
#include "app/desktop_bus.h"
#include "app/error_display.h"
#include "app/stop_signals.h"
#include "app/unit1.h"
#include "platform/memory.h"
#include "platform/open_files.h"
#include "platform/signal_cleanup.h"

#include <QApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr int exitNoDisplay = 1;

bool nonEmpty(const char *variable)
{
    const char *value = std::getenv(variable);
    return value && *value;
}

// Qt chooses its platform from QT_QPA_PLATFORM or -platform; otherwise it looks for a display
// (DISPLAY for X11, WAYLAND_DISPLAY for Wayland) and aborts when it finds none.
bool displayToOpen(int argc, char **argv)
{
    if (nonEmpty("QT_QPA_PLATFORM") || nonEmpty("DISPLAY") || nonEmpty("WAYLAND_DISPLAY"))
        return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}

// While Qt starts, its messages are held back: when a display is named but cannot be opened,
// Qt ends with a fatal message that blames the installation, and one line of ours says what
// is wrong instead. When it starts, the held messages are passed on.
QtMessageHandler qtMessages = nullptr;
bool startingUp = false;
QList<std::pair<QtMsgType, QString>> heldMessages;

void startupMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!startingUp) {
        qtMessages(type, context, message);
        return;
    }
    if (type == QtFatalMsg) {
        const char *display = std::getenv("DISPLAY");
        std::fprintf(stderr,
            "lumivor: cannot open the display%s%s; set DISPLAY to a display that is "
            "running, or use lumivor-batch\n",
            display ? " " : "", display ? display : "");
        std::_Exit(exitNoDisplay);
    }
    heldMessages.append({ type, message });
}

void passHeldMessages()
{
    startingUp = false;
    for (const auto &[type, message] : std::as_const(heldMessages))
        qtMessages(type, QMessageLogContext(), message);
    heldMessages.clear();
}

} // namespace

int main(int argc, char **argv)
{
    if (!displayToOpen(argc, argv)) {
        std::fputs("lumivor: no display (DISPLAY is not set); set DISPLAY, or use lumivor-batch "
                   "for the command line\n",
            stderr);
        return exitNoDisplay;
    }
    // Under a file-size limit a write beyond it must fail as on a full disk, with an error
    // shown and the old photo kept, instead of killing the program mid-save.
    std::signal(SIGXFSZ, SIG_IGN);
    // Ctrl-C, SIGTERM or SIGHUP (its terminal or session going) close the window as the close
    // box does, stopping a run first; a second one ends the program at once. Either way no
    // temporary file is left behind.
    const int stopSignals = platform::installSignalStop();
    platform::useMemoryPolicy();
    // Every photo in work holds a few files open; the run keeps within this limit.
    platform::raiseOpenFileLimit();
    // The window and the taskbar find the icon and name of the desktop entry by this id.
    QGuiApplication::setDesktopFileName(app::desktopEntryId);
    // The command line is handed to Qt only for its own platform settings; the program reads
    // nothing from it.
    std::unique_ptr<QApplication> application;
    std::unique_ptr<app::StopSignals> stopped;
    std::unique_ptr<TForm1> window;
    app::reportErrors(nullptr, [&] {
        qtMessages = qInstallMessageHandler(startupMessages);
        startingUp = true;
        application = std::make_unique<QApplication>(argc, argv);
        passHeldMessages();
        stopped = std::make_unique<app::StopSignals>(stopSignals);
        window = std::make_unique<TForm1>();
        Form1 = window.get();
        window->show();
        QApplication::exec();
    });
    Form1 = nullptr;
    window.reset();
    if (stopped && stopped->signal() != 0)
        platform::endAsKilledBy(stopped->signal());
    return 0;
}
