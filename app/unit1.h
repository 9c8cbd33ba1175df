#pragma once

#include "run/engine.h"
#include "run/enhance_photo.h"

#include <QFuture>
#include <QWidget>

#include <exception>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace app {
class FormProgress;
}

// The main window: two folder fields with their "..." buttons, the status label, the progress
// bar, "Do It!" and "Quit". It owns two working images; a run's workers each hold their own.
class TForm1 : public QWidget, public run::TWorkingImages
{
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
    // Stops a run under way and waits for its end.
    ~TForm1() override;

    QLabel *Label1;
    QLabel *Label2;
    QLineEdit *Edit1;
    QLineEdit *Edit2;
    QPushButton *btnSrc;
    QPushButton *btnDest;
    QLabel *lbFile;
    QProgressBar *ProgressBar1;
    QPushButton *btnOK;
    QPushButton *btnQuit;

    // The handlers. They throw; the connections run them through the error display's guard.
    void btnQuitClick(QObject *Sender);
    void btnSrcClick(QObject *Sender);
    void btnDestClick(QObject *Sender);
    void btnOKClick(QObject *Sender);
    void FormCreate(QObject *Sender);

    // Whether a run is under way: from "Do It!" until its end has been shown.
    bool running() const { return m_running; }

    // A run that lasts longer than seconds (10 unless set) and ends while the window is not the
    // active one is announced by a desktop notification.
    void setNotifyAfter(double seconds) { m_notifyAfter = seconds; }

signals:
    // A run's end has been shown (and the window closed, when that was asked for meanwhile).
    void runFinished();

protected:
    // During a run, a close request (the close box, Alt+F4, Esc, "Quit", a stop signal) stops
    // the run; the window closes once the run has ended.
    void closeEvent(QCloseEvent *event) override;

private:
    struct RunEnd {
        run::RunSummary summary;
        std::exception_ptr error; // the run could not start (a folder), or failed as a whole
    };

    void createControls();
    void connectHandlers();
    void runGuarded(void (TForm1::*handler)(QObject *), QObject *sender);
    void setRunning(bool running);
    void runEnded(const RunEnd &end);
    void announceEnd(const RunEnd &end);

    std::unique_ptr<app::FormProgress> m_progress;
    std::unique_ptr<run::StopRequest> m_stop;
    QFuture<void> m_run;
    bool m_running = false;
    bool m_closeWhenEnded = false;
    double m_notifyAfter = 10;
};

// The main window once it has been created.
extern TForm1 *Form1;
