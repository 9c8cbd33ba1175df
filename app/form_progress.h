#pragma once

#include "run/engine.h"

class QLabel;
class QProgressBar;

namespace app {

// Shows a run in the window's status label and progress bar. Its calls may come from any
// thread: each is carried out on the thread of the label, in the order made, and repaints at
// once. The label and the bar must outlive the calls.
class FormProgress : public BatchObserver
{
public:
    FormProgress(QLabel &label, QProgressBar &bar)
        : m_label(label)
        , m_bar(bar)
    {
    }

    void countKnown(int fileCount) override;
    void fileStarted(const std::string &name, int number) override;
    void fileFinished(int filesDone) override;
    void done() override;

private:
    QLabel &m_label;
    QProgressBar &m_bar;
};

} // namespace app
