#pragma once

#include "chooser/directory_list_box.h"
#include "chooser/error_hook.h"
#include "platform/folders.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <exception>
#include <functional>
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

// Records the message of every error the chooser hands on, for its lifetime.
struct ErrorRecorder {
    ErrorRecorder()
        : saved(chooser::setErrorHandler([this](QWidget *) {
            try {
                throw;
            } catch (const std::exception &error) {
                messages << QString::fromStdString(error.what());
            }
        }))
    {
    }
    ~ErrorRecorder() { chooser::setErrorHandler(saved); }
    QStringList messages;
    chooser::ErrorHandler saved;
};

// A temporary folder made current (symlinks resolved, as the lists report paths), and the
// previous current folder restored afterwards.
struct TempTree {
    TempTree()
        : saved(platform::GetCurrentDir())
        , root(QDir(temp.path()).canonicalPath())
    {
        QDir::setCurrent(root);
    }
    ~TempTree() { platform::SetCurrentDir(saved); }

    QString path(const QString &relative) const { return root + QLatin1Char('/') + relative; }

    // Folders end in "/"; anything else is a one-byte file, its folders made as needed.
    void make(const QStringList &entries) const
    {
        for (const QString &entry : entries) {
            const QString full = path(entry);
            QDir().mkpath(full.left(full.lastIndexOf(QLatin1Char('/'))));
            QFile file(full);
            if (!entry.endsWith(QLatin1Char('/')) && file.open(QIODevice::WriteOnly))
                file.write("x");
        }
    }

    std::string saved;
    QTemporaryDir temp;
    QString root;
};

inline QString currentFolder()
{
    return QDir(QDir::currentPath()).canonicalPath();
}

// Double-clicks the row of list whose text is text, as the user does: a press first, since the
// view opens only a row that the same button pressed.
inline void openRow(chooser::TDirectoryListBox *list, const QString &text)
{
    const QList<QListWidgetItem *> found = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(text));
    const QPoint where = list->visualItemRect(found.first()).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, where);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, where);
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
