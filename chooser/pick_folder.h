#pragma once

#include <QString>

namespace chooser {

// Option bits of PickFolder.
enum PickFolderOption {
    AllowNewFolder = 1, // the chosen folder is an editable path that may not exist yet
    CreateOnAccept = 2, // the chosen folder is created, with its missing parents
    ConfirmNewFolder = 4 // with AllowNewFolder: accepting a missing folder asks first
};

// Runs the modal "Select Directory" dialog starting at Folder (empty: the process's current
// folder). On OK returns true with Folder set to the chosen folder, exactly as shown or typed
// (text as pathText makes it: pathBytes(Folder) is the folder's exact bytes); on Cancel or close
// returns false and leaves Folder alone. HelpTopic 0 hides the Help button.
// The process's current folder stays wherever the user navigated, OK or not.
// Throws platform::EInOutError ("Unable to create directory ...") when CreateOnAccept is set
// and the chosen folder is empty or cannot be created; Folder is then unchanged.
bool PickFolder(QString &Folder, int Options, int HelpTopic);

} // namespace chooser
