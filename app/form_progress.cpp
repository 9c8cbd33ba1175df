#include "app/form_progress.h"

#include "chooser/path_text.h"

#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>

namespace app {

namespace {

// Runs show on the thread of the label: at once when called there, otherwise queued behind the
// calls made before it.
template <typename Show> void onLabelThread(QLabel &label, Show show)
{
    QMetaObject::invokeMethod(&label, std::move(show), Qt::AutoConnection);
}

} // namespace

void FormProgress::countKnown(int fileCount)
{
    QProgressBar &bar = m_bar;
    onLabelThread(m_label, [&bar, fileCount] {
        bar.setVisible(true);
        bar.setValue(0);
        bar.setMaximum(fileCount);
    });
}

void FormProgress::fileStarted(const std::string &name, int)
{
    QLabel &label = m_label;
    const QString text = chooser::pathText(name);
    onLabelThread(m_label, [&label, text] {
        label.setText(text);
        label.repaint();
    });
}

void FormProgress::fileFinished(int filesDone)
{
    QProgressBar &bar = m_bar;
    onLabelThread(m_label, [&bar, filesDone] {
        bar.setValue(filesDone);
        bar.repaint();
    });
}

void FormProgress::done()
{
    QLabel &label = m_label;
    QProgressBar &bar = m_bar;
    onLabelThread(m_label, [&label, &bar] {
        label.setText(QStringLiteral("Done"));
        bar.hide();
    });
}

} // namespace app
