#include "app/folder_field.h"

#include "chooser/path_text.h"
#include "platform/folder_tree.h"
#include "run/photo_listing.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace app {

std::string droppedFolder(const QMimeData &data)
{
    const QList<QUrl> urls = data.urls();
    if (urls.isEmpty() || !urls.front().isLocalFile())
        return std::string();
    // The percent-encoded path gives the name's exact bytes, also where they are not UTF-8.
    const std::string path
        = QByteArray::fromPercentEncoding(urls.front().path(QUrl::FullyEncoded).toLatin1())
              .toStdString();
    const platform::PathInfo info = platform::InspectPath(path);
    if (!info.exists())
        return std::string();
    if (info.isFolder)
        return path;
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || !run::IsPhotoName(path.substr(slash + 1)))
        return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

void FolderField::dragEnterEvent(QDragEnterEvent *event)
{
    m_folderDrag = !droppedFolder(*event->mimeData()).empty();
    if (m_folderDrag)
        event->acceptProposedAction();
    else
        QLineEdit::dragEnterEvent(event);
}

void FolderField::dragMoveEvent(QDragMoveEvent *event)
{
    if (m_folderDrag)
        event->acceptProposedAction();
    else
        QLineEdit::dragMoveEvent(event);
}

void FolderField::dropEvent(QDropEvent *event)
{
    const std::string folder = droppedFolder(*event->mimeData());
    if (folder.empty()) {
        QLineEdit::dropEvent(event);
        return;
    }
    setText(chooser::pathText(folder));
    event->acceptProposedAction();
}

} // namespace app
