#include "app/form_progress.h"

#include "app/desktop_bus.h"
#include "chooser/path_text.h"
#include "run/pace.h"

#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>

namespace app {

QString progressTip(int done, int count, double seconds)
{
    QString tip = QStringLiteral("%1 of %2").arg(done).arg(count);
    const double left = run::secondsLeft(done, count, seconds);
    if (left >= 0 && done < count)
        tip += QStringLiteral(", about %1 left")
                   .arg(QString::fromStdString(run::formatDuration(left)));
    return tip;
}

template <typename Show>
void FormProgress::onLabelThread(Show show)
{
    // Queued even on the label's own thread, so that every call keeps its place in line.
    QMetaObject::invokeMethod(&m_label, std::move(show), Qt::QueuedConnection);
}

void FormProgress::countKnown(int photoCount)
{
    onLabelThread([this, photoCount] {
        m_bar.setVisible(true);
        m_bar.setValue(0);
        m_bar.setMaximum(photoCount);
        m_bar.setToolTip(progressTip(0, photoCount, seconds()));
        if (photoCount > 0)
            showTaskbarProgress(0, photoCount);
    });
}

void FormProgress::photoStarted(const run::PhotoJob &photo, int)
{
    onLabelThread([this, text = chooser::pathText(photo.name)] {
        if (!m_stopping)
            m_label.setText(text);
    });
}

void FormProgress::photoEnded(const run::PhotoOutcome &outcome)
{
    // The bar counts the photos put in place, or left as enhanced before; a run stops at the
    // first that fails.
    if (outcome.result == run::PhotoResult::Failed)
        return;
    onLabelThread([this, number = outcome.number] {
        m_bar.setValue(number);
        m_bar.setToolTip(progressTip(number, m_bar.maximum(), seconds()));
        showTaskbarProgress(number, m_bar.maximum());
    });
}

void FormProgress::starting()
{
    m_stopping = false;
    m_clock.start();
}

void FormProgress::stopping()
{
    m_stopping = true;
    m_label.setText(QStringLiteral("Stopping\u2026"));
}

void FormProgress::ended(bool done, const QString &doneText)
{
    if (done) {
        m_label.setText(doneText);
        m_bar.hide();
    }
    hideTaskbarProgress();
}

double FormProgress::seconds() const
{
    return double(m_clock.elapsed()) / 1000.0;
}

} // namespace app
