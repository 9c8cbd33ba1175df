#include "app/stop_signals.h"

#include <QApplication>
#include <QSocketNotifier>

#include <unistd.h>

namespace app {

StopSignals::StopSignals(int descriptor, QObject *parent)
    : QObject(parent)
    , m_descriptor(descriptor)
{
    if (descriptor < 0)
        return;
    m_notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::signalArrived);
}

void StopSignals::signalArrived()
{
    unsigned char number = 0;
    if (::read(m_descriptor, &number, 1) != 1)
        return;
    // Only the first signal comes this way; a second one ends the process at once.
    m_notifier->setEnabled(false);
    m_signal = number;
    // Modal boxes first, so that a close request never waits behind one.
    QApplication::closeAllWindows();
}

} // namespace app
