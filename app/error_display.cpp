#include "app/error_display.h"

#include "core/error.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>
#include <new>

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

void showErrorBox(QWidget *parent, const QString &message)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        // Failing before the application exists: there is no screen to show a box on.
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    QMessageBox box(QMessageBox::Critical,
                    applicationTitle(QCoreApplication::applicationFilePath()), message,
                    QMessageBox::Ok, parent);
    box.exec();
}

ErrorDisplay &currentErrorDisplay()
{
    static ErrorDisplay display = showErrorBox;
    return display;
}

void showCurrentException(QWidget *parent)
{
    std::string message;
    try {
        throw;
    } catch (const core::Error &error) {
        message = error.what();
    } catch (const std::bad_alloc &) {
        message = core::EStreamError().what();
    } catch (...) {
        // Not one of ours: its text was never meant for users, so the box shows none.
    }
    currentErrorDisplay()(parent, QString::fromStdString(errorText(message)));
}

} // namespace app
