#include "app/form_progress.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QProgressBar>

namespace app {

namespace {

void answerTheDesktop()
{
    // User input is kept, not dropped, and delivered once the run has ended.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

void FormProgress::countKnown(int fileCount)
{
    m_bar.setVisible(true);
    m_bar.setValue(0);
    m_bar.setMaximum(fileCount);
    answerTheDesktop();
}

void FormProgress::fileStarted(const std::string &name, int)
{
    m_label.setText(QFile::decodeName(QByteArray::fromStdString(name)));
    m_label.repaint();
    answerTheDesktop();
}

void FormProgress::fileFinished(int filesDone)
{
    m_bar.setValue(filesDone);
    m_bar.repaint();
    answerTheDesktop();
}

void FormProgress::done()
{
    m_label.setText(QStringLiteral("Done"));
    m_bar.hide();
}

} // namespace app
