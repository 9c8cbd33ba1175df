#pragma once

#include "app/batch_run.h"

class QLabel;
class QProgressBar;

namespace app {

// Shows a folder run in the window's status label and progress bar, repainting them at once,
// and lets the desktop's paint and system events through between files while user input waits
// for the run's end.
class FormProgress : public BatchObserver
{
public:
    FormProgress(QLabel &label, QProgressBar &bar) : m_label(label), m_bar(bar) {}

    void countKnown(int fileCount) override;
    void fileStarted(const std::string &name, int number) override;
    void fileFinished(int filesDone) override;
    void done() override;

private:
    QLabel &m_label;
    QProgressBar &m_bar;
};

} // namespace app
