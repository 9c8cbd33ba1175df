#include "app/error_display.h"

#include "chooser/path_text.h"
#include "core/error.h"
#include "run/run_words.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>

namespace app {

std::string errorText(const std::string &message)
{
    constexpr unsigned char fullStop = 46;
    if (!message.empty() && static_cast<unsigned char>(message.back()) > fullStop)
        return message + ".";
    return message;
}

QString applicationTitle(const QString &executablePath)
{
    QString title = QFileInfo(executablePath).fileName();
    const int dot = title.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        title.truncate(dot);
    if (title.size() > 1)
        title = title.left(1) + title.mid(1).toLower();
    return title;
}

namespace {

// A modal box with icon and an OK button, titled with the application title, details as its
// informative text: the first lines of them when they are many, all of them then under
// "Show Details...".
void showBox(QWidget *parent, QMessageBox::Icon icon, const QString &message,
             const QString &details)
{
    // A box as tall as a few hundred photos would not fit the screen.
    constexpr int linesShown = 12;
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        // Failing before the application exists: there is no screen to show a box on.
        const QString text = details.isEmpty() ? message : message + "\n" + details;
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    QMessageBox box(icon, applicationTitle(QCoreApplication::applicationFilePath()), message,
                    QMessageBox::Ok, parent);
    const QStringList lines = details.split(QLatin1Char('\n'));
    if (lines.size() <= linesShown) {
        box.setInformativeText(details);
    } else {
        box.setInformativeText(lines.mid(0, linesShown).join(QLatin1Char('\n'))
                               + QStringLiteral("\n\u2026"));
        box.setDetailedText(details);
    }
    box.exec();
}

} // namespace

void showErrorBox(QWidget *parent, const QString &message, const QString &details)
{
    showBox(parent, QMessageBox::Critical, message, details);
}

void showWarningBox(QWidget *parent, const QString &message, const QString &details)
{
    showBox(parent, QMessageBox::Warning, message, details);
}

ErrorDisplay &currentWarningDisplay()
{
    static ErrorDisplay display = showWarningBox;
    return display;
}

void showPhotoNotes(QWidget *parent, const std::vector<run::NotedPhoto> &noted)
{
    if (noted.empty())
        return;
    QStringList lines;
    for (const run::NotedPhoto &photo : noted)
        for (const std::string &line : run::noteLines(photo.notes))
            lines << chooser::pathText(photo.photo.sourcePath) + QStringLiteral(": ")
                         + QString::fromStdString(line);
    const QString message = noted.size() == 1
        ? QStringLiteral("1 photo was written with warnings")
        : QStringLiteral("%1 photos were written with warnings").arg(noted.size());
    currentWarningDisplay()(parent, QString::fromStdString(errorText(message.toStdString())),
                            lines.join(QLatin1Char('\n')));
}

ErrorDisplay &currentErrorDisplay()
{
    static ErrorDisplay display = showErrorBox;
    return display;
}

void showError(QWidget *parent, const std::exception_ptr &error, const std::string &photoPath)
{
    const core::ErrorWords words = core::wordsFor(error);
    QStringList details;
    if (!photoPath.empty())
        details << chooser::pathText(photoPath);
    if (!words.reason.empty())
        details << QString::fromStdString(errorText(words.reason));
    currentErrorDisplay()(parent, QString::fromStdString(errorText(words.message)),
                          details.join(QLatin1Char('\n')));
}

void showCurrentException(QWidget *parent)
{
    showError(parent, std::current_exception());
}

} // namespace app
