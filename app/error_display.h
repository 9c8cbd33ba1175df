#pragma once

#include "run/engine.h"

#include <QString>

#include <exception>
#include <functional>
#include <string>

class QWidget;

namespace app {

// Shows one error to the user: message as the designed box shows it, and details (which photo,
// the plain reason), empty when there are none. The program's is showErrorBox; tests install a
// recorder.
using ErrorDisplay
    = std::function<void(QWidget *parent, const QString &message, const QString &details)>;

// The text the user sees for an error message: "." is appended when the message is not empty
// and its last byte, taken as unsigned, is above 46 (the full stop).
std::string errorText(const std::string &message);

// The executable's file name without folder, cut at its first ".", every character after the
// first in lower case: the title of every error box.
QString applicationTitle(const QString &executablePath);

// A modal box with the error icon and an OK button, titled with the application title; details
// are its informative text, the first lines of them when they are many (all of them then under
// "Show Details...").
void showErrorBox(QWidget *parent, const QString &message, const QString &details);

// The display every guard uses; showErrorBox until a test replaces it.
ErrorDisplay &currentErrorDisplay();

// Shows error in the current display: the message of core::wordsFor through errorText, and as
// details the photo's path (when one is given) above the reason through errorText.
void showError(QWidget *parent, const std::exception_ptr &error, const std::string &photoPath = {});

// showErrorBox with the warning icon.
void showWarningBox(QWidget *parent, const QString &message, const QString &details);

// The display of a run's warnings; showWarningBox until a test replaces it.
ErrorDisplay &currentWarningDisplay();

// Shows in the current warning display, when there are any, the photos of a run that were put in
// place with notes: "N photos were written with warnings.", and a line for each note, the photo's
// path before it (run::noteLines).
void showPhotoNotes(QWidget *parent, const std::vector<run::NotedPhoto> &noted);

// showError for the exception in flight (call inside a catch block).
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
