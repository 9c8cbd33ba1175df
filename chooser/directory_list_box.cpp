#include "chooser/directory_list_box.h"

#include "chooser/error_hook.h"
#include "chooser/glyph_delegate.h"
#include "chooser/glyphs.h"
#include "chooser/path_text.h"
#include "platform/folders.h"
#include "platform/volumes.h"

#include <algorithm>

namespace chooser {

TDirectoryListBox::TDirectoryListBox(QWidget *parent)
    : QListWidget(parent)
    , m_openFolder(loadGlyph(Glyph::OpenFolder))
    , m_currentFolder(loadGlyph(Glyph::CurrentFolder))
    , m_closedFolder(loadGlyph(Glyph::ClosedFolder))
    , m_delegate(new GlyphDelegate({}, this))
{
    setItemDelegate(m_delegate);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRowHeight(std::max(fontMetrics().height(), m_openFolder.height() + 1));
    m_directory = fromBytes(platform::GetCurrentDir());
    m_volumes = platform::ListVolumes();
    rememberFolder();
    buildRows();
    connect(this, &QListWidget::itemDoubleClicked, this, &TDirectoryListBox::openRow);
}

void TDirectoryListBox::setRowHeight(int height)
{
    m_delegate->setRowHeight(height);
    doItemsLayout();
}

void TDirectoryListBox::setDirectory(const QString &path)
{
    if (path.isEmpty())
        return;
    const std::string target = absoluteFolder(path);
    // Volumes here are case-sensitive, so the comparison is exact.
    if (fromBytes(target) == m_directory)
        return;
    platform::SetCurrentDir(target);
    m_directory = fromBytes(platform::GetCurrentDir());
    rememberFolder();
    buildRows();
    emit changed();
}

void TDirectoryListBox::setVolumes(const std::vector<platform::Volume> &volumes)
{
    m_volumes = volumes;
    rememberFolder();
}

void TDirectoryListBox::rememberFolder()
{
    const std::string folder = toBytes(m_directory);
    platform::RememberFolderOn(platform::VolumeOf(folder, m_volumes), folder);
}

void TDirectoryListBox::setDrive(const QString &mountPoint)
{
    const std::string volume = toBytes(mountPoint);
    if (volume.empty() || platform::VolumeOf(toBytes(m_directory), m_volumes) == volume)
        return;
    std::string target = platform::FolderLastShownOn(volume);
    if (target.empty() || !platform::DirectoryExists(target)
        || platform::VolumeOf(target, m_volumes) != volume)
        target = volume;
    setDirectory(fromBytes(target));
}

QString TDirectoryListBox::pathOfRow(int row) const
{
    const QListWidgetItem *entry = item(row);
    return entry ? entry->data(PathRole).toString() : QString();
}

void TDirectoryListBox::addRow(const QString &text, int glyph, int indent, const QString &path)
{
    auto *row = new QListWidgetItem(text, this);
    const QPixmap &pixmap = glyph == int(Glyph::OpenFolder) ? m_openFolder
        : glyph == int(Glyph::CurrentFolder)                ? m_currentFolder
                                                            : m_closedFolder;
    row->setData(GlyphRole, glyph);
    row->setData(GlyphPixmapRole, pixmap);
    row->setData(IndentRole, indent);
    row->setData(PathRole, path);
}

void TDirectoryListBox::buildRows()
{
    clear();
    const QStringList parts = m_directory.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    // Row k sits 4 pixels deeper than row k - 1; "/" is row 0.
    if (parts.isEmpty()) {
        addRow(QStringLiteral("/"), int(Glyph::CurrentFolder), 2, QStringLiteral("/"));
    } else {
        addRow(QStringLiteral("/"), int(Glyph::OpenFolder), 2, QStringLiteral("/"));
        QString path;
        for (int i = 0; i < parts.size(); ++i) {
            path += QLatin1Char('/') + parts[i];
            const bool current = i == parts.size() - 1;
            addRow(parts[i], int(current ? Glyph::CurrentFolder : Glyph::OpenFolder),
                4 * (i + 1) + 2, path);
        }
    }
    m_currentRow = count() - 1;

    // Subfolders sit one step deeper than the current folder's row.
    const int subfolderIndent = 4 * std::max<int>(1, int(parts.size())) + 6;
    const QString prefix
        = m_directory.endsWith(QLatin1Char('/')) ? m_directory : m_directory + QLatin1Char('/');
    for (const std::string &name : platform::ListSubfolders(toBytes(m_directory))) {
        const QString text = fromBytes(name);
        addRow(text, int(Glyph::ClosedFolder), subfolderIndent, prefix + text);
    }
    setCurrentRow(m_currentRow);
}

void TDirectoryListBox::openRow(QListWidgetItem *entry)
{
    const QString path = entry->data(PathRole).toString();
    forwardErrors(this, [&] { setDirectory(path); });
}

} // namespace chooser
