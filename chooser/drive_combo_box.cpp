#include "chooser/drive_combo_box.h"

#include "chooser/current_folder.h"
#include "chooser/glyph_delegate.h"
#include "chooser/glyphs.h"
#include "chooser/path_text.h"

#include <QAbstractItemView>

#include <algorithm>

namespace chooser {

TDriveComboBox::TDriveComboBox(QWidget *parent)
    : TDriveComboBox(nullptr, parent)
{
}

TDriveComboBox::TDriveComboBox(CurrentFolder *folder, QWidget *parent)
    : QComboBox(parent)
    , m_folder(folder ? folder : new CurrentFolder(this))
    , m_floppy(loadGlyph(Glyph::Floppy))
    , m_hard(loadGlyph(Glyph::Hard))
    , m_network(loadGlyph(Glyph::Network))
    , m_cdRom(loadGlyph(Glyph::CdRom))
    , m_ram(loadGlyph(Glyph::Ram))
{
    GlyphDelegate::Placement placement;
    placement.textLeftWithoutGlyph = 22;
    placement.textVertical = Qt::AlignVCenter;
    placement.rowHeight = std::max(fontMetrics().height(), m_floppy.height());
    setItemDelegate(new GlyphDelegate(placement, this));
    setIconSize(m_floppy.size());

    m_drive = m_folder->volume();
    buildItems();
    connect(m_folder, &CurrentFolder::changed, this, &TDriveComboBox::followFolder);
    connect(m_folder, &CurrentFolder::volumesChanged, this, &TDriveComboBox::followVolumes);
    connect(this, qOverload<int>(&QComboBox::activated), this,
        [this](int index) { chooseDrive(itemData(index, PathRole).toByteArray().toStdString()); });
}

QString TDriveComboBox::drive() const
{
    return pathText(m_drive);
}

const std::vector<platform::Volume> &TDriveComboBox::volumes() const
{
    return m_folder->volumes();
}

void TDriveComboBox::followFolder()
{
    m_drive = m_folder->volume();
    selectCurrent();
}

void TDriveComboBox::followVolumes()
{
    m_drive = m_folder->volume();
    buildItems();
}

QString TDriveComboBox::volumeText(const platform::Volume &volume, TextCase textCase)
{
    const bool network = volume.kind == platform::VolumeKind::Network;
    QString detail = pathText(network ? volume.source : volume.label);
    detail = textCase == TextCase::tcUpperCase ? detail.toUpper() : detail.toLower();
    if (!network || detail.isEmpty())
        detail = QLatin1Char('[') + detail + QLatin1Char(']');
    return pathText(volume.mountPoint) + QLatin1Char(' ') + detail;
}

QPixmap TDriveComboBox::glyphFor(platform::VolumeKind kind) const
{
    switch (kind) {
    case platform::VolumeKind::Removable:
        return m_floppy;
    case platform::VolumeKind::Network:
        return m_network;
    case platform::VolumeKind::CdRom:
        return m_cdRom;
    case platform::VolumeKind::Ram:
        return m_ram;
    case platform::VolumeKind::Fixed:
        break;
    }
    return m_hard;
}

void TDriveComboBox::buildItems()
{
    const QSignalBlocker quiet(this);
    clear();
    for (const platform::Volume &volume : m_folder->volumes()) {
        const QPixmap glyph = glyphFor(volume.kind);
        addItem(QIcon(glyph), volumeText(volume, m_textCase));
        const int row = count() - 1;
        setItemData(row, QByteArray::fromStdString(volume.mountPoint), PathRole);
        setItemData(row, int(volume.kind), GlyphRole);
        setItemData(row, glyph, GlyphPixmapRole);
        setItemData(row, 2, IndentRole);
    }
    selectCurrent();
}

void TDriveComboBox::selectCurrent()
{
    const QSignalBlocker quiet(this);
    setCurrentIndex(m_drive.empty() ? -1 : findData(QByteArray::fromStdString(m_drive), PathRole));
}

void TDriveComboBox::setVolumes(const std::vector<platform::Volume> &volumes)
{
    m_folder->setVolumes(volumes);
}

void TDriveComboBox::setTextCase(TextCase textCase)
{
    if (textCase == m_textCase)
        return;
    m_textCase = textCase;
    buildItems();
}

void TDriveComboBox::setDrive(const QString &mountPoint)
{
    chooseDrive(pathBytes(mountPoint));
}

void TDriveComboBox::chooseDrive(const std::string &mountPoint)
{
    if (mountPoint.empty()) {
        m_drive.clear();
        selectCurrent();
        return;
    }
    // The popup has already moved the selection, so compare with what was current before.
    if (mountPoint == m_drive && findData(QByteArray::fromStdString(mountPoint), PathRole) >= 0) {
        selectCurrent();
        return;
    }
    // Selected before anything is entered: when the volume cannot be entered, it stays
    // selected and the folder views stay where they were.
    m_drive = mountPoint;
    selectCurrent();
    emit changed();
}

void TDriveComboBox::showVolumeOf(const QString &path)
{
    m_drive = platform::VolumeOf(pathBytes(path), m_folder->volumes());
    selectCurrent();
}

} // namespace chooser
