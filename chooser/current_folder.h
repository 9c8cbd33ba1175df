#pragma once

#include "platform/volumes.h"

#include <QObject>
#include <QString>

#include <string>
#include <vector>

namespace chooser {

// The folder that the chooser's lists and path label show, and the volumes they offer. It is
// the only holder of the folder: the lists and the label are views of it and follow changed().
// Entering a folder makes it the process's current folder, once per navigation, so the process
// stays in the folder last shown after the views are gone, and the next chooser opens there.
class CurrentFolder : public QObject
{
    Q_OBJECT
public:
    // Starts at the process's current folder, with this machine's volumes. Throws
    // platform::EInOutError when the current folder cannot be read.
    explicit CurrentFolder(QObject *parent = nullptr);

    // The absolute folder as the file system's bytes, without a trailing "/" except for "/".
    const std::string &path() const { return m_path; }

    // The same folder as text (pathText), for showing and editing.
    const QString &text() const { return m_text; }

    // Enters path (bytes; relative to the process's current folder), which becomes the folder
    // and emits changed(). Nothing happens for an empty path or the folder already shown (exact
    // comparison: these volumes are case-sensitive). Throws platform::EInOutError when the
    // folder cannot be entered; folder and process stay where they were.
    void enter(const std::string &path);

    // The mount point among volumes() that holds the folder.
    std::string volume() const;

    const std::vector<platform::Volume> &volumes() const { return m_volumes; }
    // Replaces the volumes offered and emits volumesChanged().
    void setVolumes(const std::vector<platform::Volume> &volumes);

signals:
    void changed();
    void volumesChanged();

private:
    void rememberOnVolume() const;

    std::string m_path;
    QString m_text;
    std::vector<platform::Volume> m_volumes;
};

} // namespace chooser
