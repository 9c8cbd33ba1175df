#pragma once

#include "platform/volumes.h"

#include <QListWidget>
#include <QPixmap>
#include <QString>

namespace chooser {

class GlyphDelegate;

// The folders from "/" down to the current folder (open folders, then the current folder) and
// the current folder's visible subfolders (closed folders), each row indented by its depth.
// Whatever folder it shows is the process's current folder.
class TDirectoryListBox : public QListWidget
{
    Q_OBJECT
public:
    // Starts at the process's current folder; throws platform::EInOutError when that cannot be
    // read.
    explicit TDirectoryListBox(QWidget *parent = nullptr);

    // The absolute path of the current folder, without a trailing "/" except for "/".
    QString directory() const { return m_directory; }

    // Enters path (relative to the process's current folder), rebuilds the rows and emits
    // changed(). Nothing happens for an empty path or the folder already shown. Throws
    // platform::EInOutError when the folder cannot be entered; rows and folder stay as they were.
    void setDirectory(const QString &path);

    // Moves to the volume mounted at mountPoint: to the folder last shown on it when that still
    // exists, else to the mount point. Nothing happens when the current folder is on it already.
    // Throws like setDirectory.
    void setDrive(const QString &mountPoint);

    // The volumes setDrive and the per-volume memory go by; this machine's when created.
    void setVolumes(const std::vector<platform::Volume> &volumes);

    // The folder a row stands for; an empty text for a row that does not exist.
    QString pathOfRow(int row) const;

    // The row of the current folder.
    int currentFolderRow() const { return m_currentRow; }

    void setRowHeight(int height);

signals:
    void changed();

private:
    void buildRows();
    void addRow(const QString &text, int glyph, int indent, const QString &path);
    void openRow(QListWidgetItem *item);
    void rememberFolder();

    QString m_directory;
    std::vector<platform::Volume> m_volumes;
    int m_currentRow = 0;
    QPixmap m_openFolder;
    QPixmap m_currentFolder;
    QPixmap m_closedFolder;
    GlyphDelegate *m_delegate;
};

} // namespace chooser
