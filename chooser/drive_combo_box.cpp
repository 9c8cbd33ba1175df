#include "chooser/drive_combo_box.h"

#include "chooser/glyph_delegate.h"
#include "chooser/glyphs.h"
#include "chooser/path_text.h"
#include "platform/folders.h"

#include <QAbstractItemView>

#include <algorithm>

namespace chooser {

TDriveComboBox::TDriveComboBox(QWidget *parent)
    : QComboBox(parent)
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

    m_volumes = platform::ListVolumes();
    m_drive = fromBytes(platform::VolumeOf(platform::GetCurrentDir(), m_volumes));
    buildItems();
    connect(this, qOverload<int>(&QComboBox::activated), this,
        [this](int index) { setDrive(itemData(index, PathRole).toString()); });
}

QString TDriveComboBox::volumeText(const platform::Volume &volume, TextCase textCase)
{
    const bool network = volume.kind == platform::VolumeKind::Network;
    QString detail = fromBytes(network ? volume.source : volume.label);
    detail = textCase == TextCase::tcUpperCase ? detail.toUpper() : detail.toLower();
    if (!network || detail.isEmpty())
        detail = QLatin1Char('[') + detail + QLatin1Char(']');
    return fromBytes(volume.mountPoint) + QLatin1Char(' ') + detail;
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
    for (const platform::Volume &volume : m_volumes) {
        const QPixmap glyph = glyphFor(volume.kind);
        addItem(QIcon(glyph), volumeText(volume, m_textCase));
        const int row = count() - 1;
        setItemData(row, fromBytes(volume.mountPoint), PathRole);
        setItemData(row, int(volume.kind), GlyphRole);
        setItemData(row, glyph, GlyphPixmapRole);
        setItemData(row, 2, IndentRole);
    }
    selectCurrent();
}

void TDriveComboBox::selectCurrent()
{
    const QSignalBlocker quiet(this);
    setCurrentIndex(m_drive.isEmpty() ? -1 : findData(m_drive, PathRole));
}

void TDriveComboBox::setVolumes(const std::vector<platform::Volume> &volumes)
{
    m_volumes = volumes;
    buildItems();
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
    if (mountPoint.isEmpty()) {
        m_drive.clear();
        selectCurrent();
        return;
    }
    // The popup has already moved the selection, so compare with what was current before.
    if (mountPoint == m_drive && findData(mountPoint, PathRole) >= 0) {
        selectCurrent();
        return;
    }
    m_drive = mountPoint;
    selectCurrent();
    emit changed();
}

void TDriveComboBox::showVolumeOf(const QString &path)
{
    m_drive = fromBytes(platform::VolumeOf(toBytes(path), m_volumes));
    selectCurrent();
}

} // namespace chooser
