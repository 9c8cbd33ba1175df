#include "app/error_display.h"

#include "chooser/path_text.h"
#include "core/error.h"

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

void showErrorBox(QWidget *parent, const QString &message, const QString &details)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        // Failing before the application exists: there is no screen to show a box on.
        const QString text = details.isEmpty() ? message : message + "\n" + details;
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    QMessageBox box(QMessageBox::Critical,
                    applicationTitle(QCoreApplication::applicationFilePath()), message,
                    QMessageBox::Ok, parent);
    box.setInformativeText(details);
    box.exec();
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
