#pragma once

#include <QListWidget>
#include <QPixmap>
#include <QString>

namespace chooser {

class CurrentFolder;
class GlyphDelegate;

// The folders from "/" down to the current folder (open folders, then the current folder) and
// the current folder's visible subfolders (closed folders), each row indented by its depth. It
// is a view of a CurrentFolder: it shows that folder, and opening a row enters the row's folder
// there.
class TDirectoryListBox : public QListWidget
{
    Q_OBJECT
public:
    // A view of a folder of its own, which starts at the process's current folder; throws
    // platform::EInOutError when that cannot be read.
    explicit TDirectoryListBox(QWidget *parent = nullptr);
    // A view of folder, which must outlive it (nullptr: a folder of its own, as above).
    TDirectoryListBox(CurrentFolder *folder, QWidget *parent);

    CurrentFolder *folder() const { return m_folder; }

    // The absolute path of the current folder, without a trailing "/" except for "/".
    QString directory() const;

    // Enters path (relative to the process's current folder); the rows follow and changed() is
    // emitted. Nothing happens for an empty path or the folder already shown. Throws
    // platform::EInOutError when the folder cannot be entered; rows and folder stay as they were.
    void setDirectory(const QString &path);

    // Moves to the volume mounted at mountPoint: to the folder last shown on it when that still
    // exists, else to the mount point. Nothing happens when the current folder is on it already.
    // Throws like setDirectory.
    void setDrive(const QString &mountPoint);

    // The folder a row stands for; an empty text for a row that does not exist.
    QString pathOfRow(int row) const;

    // The row of the current folder.
    int currentFolderRow() const { return m_currentRow; }

    void setRowHeight(int height);

signals:
    // After the rows have followed a change of folder.
    void changed();

private:
    void folderChanged();
    void buildRows();
    void addRow(const QString &text, int glyph, int indent, const std::string &path);
    void openRow(QListWidgetItem *item);

    CurrentFolder *const m_folder;
    int m_currentRow = 0;
    QPixmap m_openFolder;
    QPixmap m_currentFolder;
    QPixmap m_closedFolder;
    GlyphDelegate *m_delegate;
};

} // namespace chooser
