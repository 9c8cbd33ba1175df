#include "chooser/file_list_box.h"

#include "chooser/current_folder.h"
#include "chooser/glyph_delegate.h"
#include "chooser/glyphs.h"
#include "chooser/path_text.h"
#include "platform/find_files.h"

#include <QGuiApplication>

#include <algorithm>
#include <set>

namespace chooser {

namespace {

// From the first call of show() until it goes out of scope, the wait cursor is up; the
// previous cursor comes back on every way out, an error included.
class WaitCursorFromHere
{
public:
    WaitCursorFromHere() = default;
    WaitCursorFromHere(const WaitCursorFromHere &) = delete;
    WaitCursorFromHere &operator=(const WaitCursorFromHere &) = delete;
    ~WaitCursorFromHere()
    {
        if (m_shown)
            QGuiApplication::restoreOverrideCursor();
    }
    void show()
    {
        if (!m_shown) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            m_shown = true;
        }
    }

private:
    bool m_shown = false;
};

// Long folders take a moment to fill; from this many entries on the user sees the wait cursor.
constexpr int waitCursorFromEntry = 100;

bool isProgramName(const QString &name)
{
    const QString lower = name.toLower();
    for (const char *extension : { ".exe", ".com", ".bat", ".pif" })
        if (lower.endsWith(QLatin1String(extension)))
            return true;
    return false;
}

} // namespace

TFileListBox::TFileListBox(QWidget *parent)
    : TFileListBox(nullptr, parent)
{
}

TFileListBox::TFileListBox(CurrentFolder *folder, QWidget *parent)
    : QListWidget(parent)
    , m_folder(folder ? folder : new CurrentFolder(this))
    , m_executable(loadGlyph(Glyph::Executable))
    , m_unknownFile(loadGlyph(Glyph::UnknownFile))
    , m_delegate(new GlyphDelegate({}, this))
{
    setItemDelegate(m_delegate);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    resize(145, height());
    setRowHeight(fontMetrics().height());
    readEntries();
    connect(m_folder, &CurrentFolder::changed, this, &TFileListBox::readEntries);
    connect(this, &QListWidget::currentRowChanged, this, &TFileListBox::changed);
}

void TFileListBox::setRowHeight(int height)
{
    m_delegate->setRowHeight(height);
    doItemsLayout();
}

QString TFileListBox::directory() const
{
    return m_folder->text();
}

void TFileListBox::setDirectory(const QString &path)
{
    m_folder->enter(pathBytes(path));
}

void TFileListBox::showFolder(const QString &path)
{
    setDirectory(path);
}

void TFileListBox::setMask(const QString &mask)
{
    if (mask == m_mask)
        return;
    m_mask = mask;
    readEntries();
}

void TFileListBox::setShowGlyphs(bool show)
{
    if (show == m_showGlyphs)
        return;
    m_showGlyphs = show;
    if (show)
        setRowHeight(std::max(m_delegate->rowHeight(), m_executable.height() + 1));
    for (int row = 0; row < count(); ++row)
        applyGlyph(item(row));
    viewport()->update();
}

void TFileListBox::applyGlyph(QListWidgetItem *entry) const
{
    if (!m_showGlyphs) {
        entry->setData(GlyphRole, QVariant());
        entry->setData(GlyphPixmapRole, QVariant());
        return;
    }
    const bool program = isProgramName(entry->text());
    entry->setData(GlyphRole, int(program ? Glyph::Executable : Glyph::UnknownFile));
    entry->setData(GlyphPixmapRole, program ? m_executable : m_unknownFile);
    entry->setData(IndentRole, 2);
}

void TFileListBox::readEntries()
{
    // The folder has been entered by whoever changed it; reading needs no second entry.
    const std::string &folder = m_folder->path();
    std::set<std::string> unique;
    for (const QString &pattern : m_mask.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        // "*.*" is how every name is asked for, dotted or not.
        const std::string mask = pattern == QStringLiteral("*.*") ? "*" : pathBytes(pattern);
        for (std::string &name :
            platform::FindMatchingFiles(folder + "/" + mask, platform::UnreadableFolder::AsEmpty))
            unique.insert(std::move(name));
    }
    QStringList names;
    for (const std::string &name : unique)
        names.append(pathText(name));
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int blind = QString::compare(a, b, Qt::CaseInsensitive);
        return blind != 0 ? blind < 0 : a < b;
    });

    clear();
    WaitCursorFromHere waitCursor;
    for (const QString &name : std::as_const(names)) {
        if (count() >= waitCursorFromEntry)
            waitCursor.show();
        auto *entry = new QListWidgetItem(name, this);
        applyGlyph(entry);
    }
    emit changed();
}

} // namespace chooser
