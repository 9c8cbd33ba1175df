#pragma once

#include <QListWidget>
#include <QPixmap>
#include <QString>

namespace chooser {

class CurrentFolder;
class GlyphDelegate;

// The visible regular files of one folder that match the mask, sorted without regard to case.
// It is a view of a CurrentFolder: it lists that folder's files again whenever the folder
// changes.
class TFileListBox : public QListWidget
{
    Q_OBJECT
public:
    // A view of a folder of its own, which starts at the process's current folder; throws
    // platform::EInOutError when that cannot be read.
    explicit TFileListBox(QWidget *parent = nullptr);
    // A view of folder, which must outlive it (nullptr: a folder of its own, as above).
    TFileListBox(CurrentFolder *folder, QWidget *parent);

    QString directory() const;

    // Enters path (relative to the process's current folder), and the entries follow; nothing
    // happens for the folder already shown. Throws platform::EInOutError when the folder cannot
    // be entered; the list keeps what it showed.
    void setDirectory(const QString &path);

    // One or more patterns separated by ";" ("*" any run, "?" one character, letters compared
    // without regard to case). Rereads the entries, throwing like setDirectory; default "*.*".
    QString mask() const { return m_mask; }
    void setMask(const QString &mask);

    bool showGlyphs() const { return m_showGlyphs; }
    void setShowGlyphs(bool show);

    // Shows the folder at path (the chooser's way in): setDirectory unless path is empty.
    void showFolder(const QString &path);

    void setRowHeight(int height);

signals:
    // After every reading of the entries and after every change of the selection.
    void changed();

private:
    void readEntries();
    void applyGlyph(QListWidgetItem *entry) const;

    CurrentFolder *const m_folder;
    QString m_mask = QStringLiteral("*.*");
    bool m_showGlyphs = false;
    QPixmap m_executable;
    QPixmap m_unknownFile;
    GlyphDelegate *m_delegate;
};

} // namespace chooser
