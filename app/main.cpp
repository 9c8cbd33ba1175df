// Lumivor: the window program. It takes nothing from the command line and always exits with 0.
#include "app/unit1.h"
#include "app/error_display.h"
#include "platform/signal_cleanup.h"

#include <QApplication>

#include <csignal>
#include <memory>

int main(int argc, char **argv)
{
    // Under a file-size limit a write beyond it must fail as on a full disk, with an error
    // shown and the old photo kept, instead of killing the program mid-save.
    std::signal(SIGXFSZ, SIG_IGN);
    // Ended by Ctrl-C, SIGTERM or SIGHUP (its terminal or session going) mid-save, the program
    // dies of the signal as before, but leaves no temporary file behind.
    platform::installSignalCleanup();
    // The command line is handed to Qt only for its own platform settings; the program reads
    // nothing from it.
    std::unique_ptr<QApplication> application;
    std::unique_ptr<TForm1> window;
    app::reportErrors(nullptr, [&] {
        application = std::make_unique<QApplication>(argc, argv);
        window = std::make_unique<TForm1>();
        Form1 = window.get();
        window->show();
        QApplication::exec();
    });
    Form1 = nullptr;
    return 0;
}
