// stopped-window SOURCE DEST: the window with the window program's handling of SIGINT, SIGTERM
// and SIGHUP, running a folder run for tst_form1: it prints a line once the first photo is in
// place, and a signal then closes the window, stopping the run, and ends it as killed.
#include "app/error_display.h"
#include "app/stop_signals.h"
#include "app/unit1.h"
#include "platform/memory.h"
#include "platform/signal_cleanup.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <cstdio>

int main(int argc, char **argv)
{
    const int stopSignals = platform::installSignalStop();
    platform::useMemoryPolicy();
    QApplication application(argc, argv);
    if (argc != 3)
        return 2;
    app::currentErrorDisplay() = [](QWidget *, const QString &message, const QString &details) {
        std::fprintf(stderr, "%s %s\n", qPrintable(message), qPrintable(details));
    };
    app::StopSignals stopped(stopSignals);
    TForm1 window;
    window.show();
    QObject::connect(window.ProgressBar1, &QProgressBar::valueChanged, [](int value) {
        if (value == 1) {
            std::puts("first photo in place");
            std::fflush(stdout);
        }
    });
    window.Edit1->setText(QString::fromLocal8Bit(argv[1]));
    window.Edit2->setText(QString::fromLocal8Bit(argv[2]));
    window.btnOK->click();
    QApplication::exec();
    if (stopped.signal() != 0)
        platform::endAsKilledBy(stopped.signal());
    return 0;
}
