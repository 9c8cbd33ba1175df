#pragma once

#include "run/enhance_photo.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The main window: two folder fields with their "..." buttons, the status label, the progress
// bar, "Do It!" and "Quit". It owns two working images; a run's workers each hold their own.
class TForm1 : public QWidget, public app::TWorkingImages
{
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);

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

    // Whether a batch run is under way (input is dropped meanwhile).
    bool running() const { return m_running; }

protected:
    void closeEvent(QCloseEvent *event) override;
    // While a run is under way, drops the application's input (see btnOKClick).
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void connectHandlers();
    void runGuarded(void (TForm1::*handler)(QObject *), QObject *sender);

    bool m_running = false;
    bool m_closeHeldBack = false;
};

// The main window once it has been created.
extern TForm1 *Form1;
