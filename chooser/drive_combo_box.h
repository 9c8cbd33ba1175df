#pragma once

#include "platform/volumes.h"

#include <QComboBox>
#include <QPixmap>
#include <QString>

#include <vector>

namespace chooser {

class CurrentFolder;

// How the drive list cases the labels and remote names it shows (mount points stay as stored:
// they are case-sensitive paths).
enum class TextCase { tcLowerCase, tcUpperCase };

// The mounted volumes, one item each: glyph by kind, "mount point [label]" (a network volume
// shows its remote name instead of the bracketed label). The current drive is a mount point.
// It is a view of a CurrentFolder's volumes, and follows its folder onto the volume that holds
// it; choosing a drive only selects it and emits changed(), for a directory list to enter.
class TDriveComboBox : public QComboBox
{
    Q_OBJECT
public:
    // A view of a folder of its own, which starts at the process's current folder with this
    // machine's volumes; throws platform::EInOutError when that folder cannot be read.
    explicit TDriveComboBox(QWidget *parent = nullptr);
    // A view of folder, which must outlive it (nullptr: a folder of its own, as above).
    TDriveComboBox(CurrentFolder *folder, QWidget *parent);

    // The mount point of the current volume; empty when none is current.
    QString drive() const;

    // Makes the volume at mountPoint current and emits changed(), unless it is current already.
    // An empty text clears the selection (no signal).
    void setDrive(const QString &mountPoint);

    // Selects the volume that holds path without emitting changed().
    void showVolumeOf(const QString &path);

    TextCase textCase() const { return m_textCase; }
    void setTextCase(TextCase textCase);

    // Replaces the folder's volumes; the items follow, with the volume of the folder selected.
    void setVolumes(const std::vector<platform::Volume> &volumes);
    const std::vector<platform::Volume> &volumes() const;

    // The text of a volume's item.
    static QString volumeText(const platform::Volume &volume, TextCase textCase);

signals:
    void changed();

private:
    void followFolder();
    void followVolumes();
    void chooseDrive(const std::string &mountPoint);
    void buildItems();
    void selectCurrent();
    QPixmap glyphFor(platform::VolumeKind kind) const;

    CurrentFolder *const m_folder;
    std::string m_drive; // the mount point selected, as bytes
    TextCase m_textCase = TextCase::tcLowerCase;
    QPixmap m_floppy, m_hard, m_network, m_cdRom, m_ram;
};

} // namespace chooser
