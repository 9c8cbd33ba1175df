// window-run SOURCE DEST: the window's batch run, driven headless (QT_QPA_PLATFORM=offscreen):
// fills the two folder fields, clicks "Do It!" and prints the seconds until the run has ended.
// An error is printed instead of shown in a box, and makes the exit status 1.
#include "app/error_display.h"
#include "app/unit1.h"
#include "platform/memory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>

int main(int argc, char **argv)
{
    platform::useMemoryPolicy(); // as the window program does
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: window-run SOURCE DEST\n");
        return 2;
    }
    bool failed = false;
    app::currentErrorDisplay() = [&failed](QWidget *, const QString &message,
                                           const QString &details) {
        std::fprintf(stderr, "%s %s\n", qPrintable(message), qPrintable(details));
        failed = true;
    };
    TForm1 window;
    window.show();
    window.Edit1->setText(QString::fromLocal8Bit(argv[1]));
    window.Edit2->setText(QString::fromLocal8Bit(argv[2]));
    QElapsedTimer timer;
    timer.start();
    QEventLoop running;
    QObject::connect(&window, &TForm1::runFinished, &running, &QEventLoop::quit);
    window.btnOK->click();
    running.exec();
    std::printf("%.3f\n", double(timer.nsecsElapsed()) / 1e9);
    return failed || window.lbFile->text() != QStringLiteral("Done") ? 1 : 0;
}
