#pragma once

#include <QObject>

class QSocketNotifier;

namespace app {

// Turns SIGINT, SIGTERM and SIGHUP into a close request for every window, so that a run stops as
// it does for the close box: watches the descriptor platform::installSignalStop returned (a
// negative one is never ready). Lives on the application's thread.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(int descriptor, QObject *parent = nullptr);

    // The signal that came first, 0 while none has.
    int signal() const { return m_signal; }

private:
    void signalArrived();

    int m_descriptor;
    QSocketNotifier *m_notifier = nullptr;
    int m_signal = 0;
};

} // namespace app
