#pragma once

#include <functional>

class QWidget;

namespace chooser {

// What the chooser's handlers do with an error they cannot handle themselves: the program's
// error display, installed by the application. It is called inside the catch block, so it can
// rethrow to read the error. Until one is installed, the message goes to standard error.
using ErrorHandler = std::function<void(QWidget *parent)>;

// Installs handler and returns the one it replaces.
ErrorHandler setErrorHandler(ErrorHandler handler);

// Calls the installed handler for the exception in flight (inside a catch block only).
void handleCurrentError(QWidget *parent);

// Runs work and hands whatever it throws to the installed handler; nothing leaves, because Qt
// must never see an exception leave a slot.
template <typename Work>
void forwardErrors(QWidget *parent, Work &&work)
{
    try {
        work();
    } catch (...) {
        handleCurrentError(parent);
    }
}

} // namespace chooser
