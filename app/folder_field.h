#pragma once

#include <QLineEdit>

#include <string>

class QMimeData;

namespace app {

// The folder that a drop names, as bytes: the first local file or folder dropped when it is a
// folder, its folder when it is a photo (run::IsPhotoName); empty for anything else.
std::string droppedFolder(const QMimeData &data);

// A folder field that also takes a folder, or a photo standing for its folder, dropped from a
// file manager; the folder replaces the field's text. Other drops behave as in any line edit.
class FolderField : public QLineEdit
{
    Q_OBJECT

public:
    using QLineEdit::QLineEdit;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    bool m_folderDrag = false; // the drag under way names a folder
};

} // namespace app
