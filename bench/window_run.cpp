// window-run SOURCE DEST: the window's batch run, driven headless (QT_QPA_PLATFORM=offscreen):
// fills the two folder fields, clicks "Do It!" and prints the seconds until the run has ended.
// An error is printed instead of shown in a box, and makes the exit status 1.
#include "app/error_display.h"
#include "app/unit1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: window-run SOURCE DEST\n");
        return 2;
    }
    bool failed = false;
    app::currentErrorDisplay() = [&failed](QWidget *, const QString &message) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        failed = true;
    };
    TForm1 window;
    window.show();
    window.Edit1->setText(QString::fromLocal8Bit(argv[1]));
    window.Edit2->setText(QString::fromLocal8Bit(argv[2]));
    QElapsedTimer timer;
    timer.start();
    window.btnOK->click(); // returns once the run has ended
    std::printf("%.3f\n", double(timer.nsecsElapsed()) / 1e9);
    return failed || window.lbFile->text() != QStringLiteral("Done") ? 1 : 0;
}
