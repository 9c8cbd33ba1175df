#include "chooser/directory_list_box.h"

#include "chooser/current_folder.h"
#include "chooser/error_hook.h"
#include "chooser/glyph_delegate.h"
#include "chooser/glyphs.h"
#include "chooser/path_text.h"
#include "platform/folders.h"
#include "platform/volumes.h"

#include <algorithm>

namespace chooser {

TDirectoryListBox::TDirectoryListBox(QWidget *parent)
    : TDirectoryListBox(nullptr, parent)
{
}

TDirectoryListBox::TDirectoryListBox(CurrentFolder *folder, QWidget *parent)
    : QListWidget(parent)
    , m_folder(folder ? folder : new CurrentFolder(this))
    , m_openFolder(loadGlyph(Glyph::OpenFolder))
    , m_currentFolder(loadGlyph(Glyph::CurrentFolder))
    , m_closedFolder(loadGlyph(Glyph::ClosedFolder))
    , m_delegate(new GlyphDelegate({}, this))
{
    setItemDelegate(m_delegate);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRowHeight(std::max(fontMetrics().height(), m_openFolder.height() + 1));
    buildRows();
    connect(m_folder, &CurrentFolder::changed, this, &TDirectoryListBox::folderChanged);
    connect(this, &QListWidget::itemDoubleClicked, this, &TDirectoryListBox::openRow);
}

void TDirectoryListBox::setRowHeight(int height)
{
    m_delegate->setRowHeight(height);
    doItemsLayout();
}

QString TDirectoryListBox::directory() const
{
    return m_folder->text();
}

void TDirectoryListBox::setDirectory(const QString &path)
{
    m_folder->enter(pathBytes(path));
}

void TDirectoryListBox::folderChanged()
{
    buildRows();
    emit changed();
}

void TDirectoryListBox::setDrive(const QString &mountPoint)
{
    const std::string volume = pathBytes(mountPoint);
    const std::vector<platform::Volume> &volumes = m_folder->volumes();
    if (volume.empty() || m_folder->volume() == volume)
        return;
    std::string target = platform::FolderLastShownOn(volume);
    if (target.empty() || !platform::DirectoryExists(target)
        || platform::VolumeOf(target, volumes) != volume)
        target = volume;
    m_folder->enter(target);
}

QString TDirectoryListBox::pathOfRow(int row) const
{
    const QListWidgetItem *entry = item(row);
    return entry ? pathText(entry->data(PathRole).toByteArray().toStdString()) : QString();
}

void TDirectoryListBox::addRow(const QString &text, int glyph, int indent, const std::string &path)
{
    auto *row = new QListWidgetItem(text, this);
    const QPixmap &pixmap = glyph == int(Glyph::OpenFolder) ? m_openFolder
        : glyph == int(Glyph::CurrentFolder)                ? m_currentFolder
                                                            : m_closedFolder;
    row->setData(GlyphRole, glyph);
    row->setData(GlyphPixmapRole, pixmap);
    row->setData(IndentRole, indent);
    row->setData(PathRole, QByteArray::fromStdString(path));
}

void TDirectoryListBox::buildRows()
{
    clear();
    const std::string &directory = m_folder->path();
    // "/" never occurs inside an escaped byte or a multi-byte character, so the folder's text
    // splits into the same components as its bytes.
    const QStringList parts = m_folder->text().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    // Row k sits 4 pixels deeper than row k - 1; "/" is row 0.
    if (parts.isEmpty()) {
        addRow(QStringLiteral("/"), int(Glyph::CurrentFolder), 2, "/");
    } else {
        addRow(QStringLiteral("/"), int(Glyph::OpenFolder), 2, "/");
        std::size_t end = 0;
        for (int i = 0; i < parts.size(); ++i) {
            end = std::min(
                directory.find('/', directory.find_first_not_of('/', end)), directory.size());
            const bool current = i == parts.size() - 1;
            addRow(parts[i], int(current ? Glyph::CurrentFolder : Glyph::OpenFolder),
                4 * (i + 1) + 2, directory.substr(0, end));
        }
    }
    m_currentRow = count() - 1;

    // Subfolders sit one step deeper than the current folder's row.
    const int subfolderIndent = 4 * std::max<int>(1, int(parts.size())) + 6;
    const std::string prefix = directory.back() == '/' ? directory : directory + '/';
    for (const std::string &name : platform::ListSubfolders(directory))
        addRow(pathText(name), int(Glyph::ClosedFolder), subfolderIndent, prefix + name);
    setCurrentRow(m_currentRow);
}

void TDirectoryListBox::openRow(QListWidgetItem *entry)
{
    const std::string path = entry->data(PathRole).toByteArray().toStdString();
    forwardErrors(this, [&] { m_folder->enter(path); });
}

} // namespace chooser
