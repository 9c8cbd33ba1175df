#pragma once

#include "chooser/error_display.h"
#include "platform/folders.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <utility>

namespace testing_support {

// Acts on the first modal widget of type Dialog that becomes active. Arm it before the blocking
// call.
template <typename Dialog> class ModalWatcher : public QObject
{
public:
    explicit ModalWatcher(std::function<void(Dialog *)> act)
        : m_act(std::move(act))
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
                m_poll.stop();
                m_seen = true;
                m_act(dialog);
            }
        });
        m_poll.start(10);
    }
    bool seen() const { return m_seen; }

private:
    QTimer m_poll;
    std::function<void(Dialog *)> m_act;
    bool m_seen = false;
};

// Puts the process back into the folder it was in when the guard was made.
class CurrentDirGuard
{
public:
    CurrentDirGuard()
        : m_saved(platform::GetCurrentDir())
    {
    }
    ~CurrentDirGuard() { platform::SetCurrentDir(m_saved); }
    CurrentDirGuard(const CurrentDirGuard &) = delete;
    CurrentDirGuard &operator=(const CurrentDirGuard &) = delete;

private:
    std::string m_saved;
};

// Records what would have been shown in the error display, for the guard's lifetime.
class ErrorRecorder
{
public:
    ErrorRecorder()
        : m_saved(chooser::currentErrorDisplay())
    {
        chooser::currentErrorDisplay()
            = [this](QWidget *, const QString &message) { messages.append(message); };
    }
    ~ErrorRecorder() { chooser::currentErrorDisplay() = m_saved; }
    ErrorRecorder(const ErrorRecorder &) = delete;
    ErrorRecorder &operator=(const ErrorRecorder &) = delete;

    QStringList messages;

private:
    chooser::ErrorDisplay m_saved;
};

// Folders (names ending in "/") and small files under root.
inline void makeTree(const QString &root, const QStringList &entries)
{
    for (const QString &entry : entries) {
        if (entry.endsWith(QLatin1Char('/'))) {
            QDir().mkpath(root + QLatin1Char('/') + entry);
        } else {
            const QString path = root + QLatin1Char('/') + entry;
            QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
            QFile file(path);
            if (file.open(QIODevice::WriteOnly))
                file.write("x");
        }
    }
}

// The same path with symlinks resolved, as the lists report it after entering it.
inline QString canonical(const QString &path)
{
    return QDir(path).canonicalPath();
}

// Whether a test left a window open behind it.
inline bool noWindowLeftOpen()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->isVisible())
            return false;
    return true;
}

} // namespace testing_support
