#pragma once

#include "platform/volumes.h"

#include <QComboBox>
#include <QPixmap>
#include <QString>

#include <vector>

namespace chooser {

// How the drive list cases the labels and remote names it shows (mount points stay as stored:
// they are case-sensitive paths).
enum class TextCase { tcLowerCase, tcUpperCase };

// The mounted volumes, one item each: glyph by kind, "mount point [label]" (a network volume
// shows its remote name instead of the bracketed label). The current drive is a mount point.
class TDriveComboBox : public QComboBox
{
    Q_OBJECT
public:
    // Lists this machine's volumes with the volume of the process's current folder selected.
    explicit TDriveComboBox(QWidget *parent = nullptr);

    // The mount point of the current volume; empty when none is current.
    QString drive() const { return m_drive; }

    // Makes the volume at mountPoint current and emits changed(), unless it is current already.
    // An empty text clears the selection (no signal).
    void setDrive(const QString &mountPoint);

    // Selects the volume that holds path without emitting changed(): keeps the list in step with
    // a folder view that crossed onto another volume.
    void showVolumeOf(const QString &path);

    TextCase textCase() const { return m_textCase; }
    void setTextCase(TextCase textCase);

    // Rebuilds the items from volumes, the current drive selected again when still listed.
    void setVolumes(const std::vector<platform::Volume> &volumes);
    const std::vector<platform::Volume> &volumes() const { return m_volumes; }

    // The text of a volume's item.
    static QString volumeText(const platform::Volume &volume, TextCase textCase);

signals:
    void changed();

private:
    void buildItems();
    void selectCurrent();
    QPixmap glyphFor(platform::VolumeKind kind) const;

    std::vector<platform::Volume> m_volumes;
    QString m_drive;
    TextCase m_textCase = TextCase::tcLowerCase;
    QPixmap m_floppy, m_hard, m_network, m_cdRom, m_ram;
};

} // namespace chooser
