#include "chooser/pick_folder.h"

#include "chooser/path_text.h"
#include "chooser/select_dir_dlg.h"
#include "platform/folders.h"

#include <QApplication>
#include <QScreen>

namespace chooser {

bool PickFolder(QString &Folder, int Options, int HelpTopic)
{
    // The folder last shown may have been removed since; the lists need somewhere to start.
    platform::EnsureCurrentDir();

    TSelectDirDlg dialog(QApplication::activeWindow());
    dialog.setDirectory(Folder);
    dialog.setAllowNewFolder(Options & AllowNewFolder);
    dialog.setConfirmNewFolder(Options & ConfirmNewFolder);
    dialog.setHelpContext(HelpTopic);
    if (const QScreen *screen = dialog.screen()) {
        const QRect area = screen->availableGeometry();
        dialog.move(area.left() + area.width() / 2 - dialog.width() / 2,
            area.top() + area.height() / 2 - dialog.height() / 2);
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;

    const QString chosen = dialog.directory();
    if (Options & CreateOnAccept) {
        // Reporting success for a folder that is not there would only fail later, at the run.
        const std::string folder = pathBytes(chosen);
        if (!platform::CreateFolderPath(folder))
            throw platform::EInOutError("Unable to create directory " + folder);
    }
    Folder = chosen;
    return true;
}

} // namespace chooser
