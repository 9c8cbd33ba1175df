#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <string>

class QWidget;

namespace app {

// Shows one error to the user. The program's is showErrorBox; tests install a recorder.
using ErrorDisplay = std::function<void(QWidget *parent, const QString &message)>;

// The text the user sees for an error message: "." is appended when the message is not empty
// and its last byte, taken as unsigned, is above 46 (the full stop).
std::string errorText(const std::string &message);

// The executable's file name without folder, cut at its first ".", every character after the
// first in lower case: the title of every error box.
QString applicationTitle(const QString &executablePath);

// A modal box with the error icon and an OK button, titled with the application title.
void showErrorBox(QWidget *parent, const QString &message);

// The display every guard uses; showErrorBox until a test replaces it.
ErrorDisplay &currentErrorDisplay();

// Shows the exception in flight (call inside a catch block): the message of our own errors,
// that of core::EStreamError for an allocation failure, and no text for anything else.
void showCurrentException(QWidget *parent);

// Runs work and shows whatever it throws; nothing leaves. Every slot that can reach a throwing
// layer runs its body through this.
template <typename Work>
void reportErrors(QWidget *parent, Work &&work)
{
    try {
        work();
    } catch (...) {
        showCurrentException(parent);
    }
}

} // namespace app
