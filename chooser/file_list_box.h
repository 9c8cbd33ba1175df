#pragma once

#include <QListWidget>
#include <QPixmap>
#include <QString>

namespace chooser {

class GlyphDelegate;

// The visible regular files of one folder that match the mask, sorted without regard to case.
// Reading a folder enters it, so the process's current folder follows this list too.
class TFileListBox : public QListWidget
{
    Q_OBJECT
public:
    // Shows the process's current folder; throws platform::EInOutError when that cannot be
    // read.
    explicit TFileListBox(QWidget *parent = nullptr);

    QString directory() const { return m_directory; }

    // Enters path and reads its entries; nothing happens for the folder already shown. Throws
    // platform::EInOutError when the folder cannot be entered; the list keeps what it showed.
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

    QString m_directory;
    QString m_mask = QStringLiteral("*.*");
    bool m_showGlyphs = false;
    QPixmap m_executable;
    QPixmap m_unknownFile;
    GlyphDelegate *m_delegate;
};

} // namespace chooser
