#pragma once

#include "run/engine.h"

#include <QElapsedTimer>
#include <QString>

class QLabel;
class QProgressBar;

namespace app {

// The bar's tooltip after done of count photos, which took seconds: "12 of 340, about 1:36
// left", without the time left while it is unknown.
QString progressTip(int done, int count, double seconds);

// Shows a run in the window: in the status label and the progress bar as designed, in the bar's
// tooltip, and in the taskbar entry. The observer calls may come from any thread: each is
// carried out on the label's thread, in the order made. The label and the bar must outlive it,
// and it must outlive every run it observes.
class FormProgress : public run::RunObserver
{
public:
    FormProgress(QLabel &label, QProgressBar &bar)
        : m_label(label)
        , m_bar(bar)
    {
    }

    void countKnown(int photoCount) override;
    void photoStarted(const run::PhotoJob &photo, int number) override;
    void photoEnded(const run::PhotoOutcome &outcome) override;

    // The rest are called on the label's thread.

    // A run starts: its time counts from now.
    void starting();
    // The label says "Stopping…" and shows nothing more of the run.
    void stopping();
    // The run has ended; done: it went through every photo, so the label says doneText ("Done",
    // run::doneWords) and the bar is hidden. Otherwise both stay as they are. The taskbar entry
    // shows no progress any more.
    void ended(bool done, const QString &doneText);
    // Seconds since starting().
    double seconds() const;

private:
    template <typename Show>
    void onLabelThread(Show show);

    QLabel &m_label;
    QProgressBar &m_bar;
    QElapsedTimer m_clock;
    bool m_stopping = false;
};

} // namespace app
