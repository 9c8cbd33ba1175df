#pragma once

#include "platform/volumes.h"

#include <QDialog>

#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

namespace chooser {

class CurrentFolder;
class TDirectoryListBox;
class TDriveComboBox;
class TFileListBox;
class TPathLabel;

// The "Select Directory" dialog: volumes, folders and the current folder's files, and the chosen
// folder as a label or, when new folders are allowed, as an editable path. The drive, directory
// and file lists and the path label are views of one CurrentFolder. Navigating moves the
// process's current folder, which stays where the dialog left it.
class TSelectDirDlg : public QDialog
{
    Q_OBJECT
    // First of the members: the lists and the label are built as its views.
    CurrentFolder *const m_folder;

public:
    // Opens at the process's current folder; throws platform::EInOutError when that cannot be
    // read.
    explicit TSelectDirDlg(QWidget *parent = nullptr);

    // The folder the lists show.
    CurrentFolder *folder() const { return m_folder; }

    // The starting folder; relative texts resolve against the process's current folder. An
    // empty text changes nothing; a folder that cannot be entered leaves the current one shown.
    void setDirectory(const QString &folder);

    // The volumes offered; this machine's mounted volumes when the dialog is created.
    void setVolumes(const std::vector<platform::Volume> &volumes);

    // The chosen folder: the path field's text when new folders are allowed, else the folder
    // shown.
    QString directory() const;

    bool allowNewFolder() const { return m_allowNewFolder; }
    void setAllowNewFolder(bool allow);

    // With allowNewFolder: accepting a folder that does not exist asks first.
    bool confirmNewFolder() const { return m_confirmNewFolder; }
    void setConfirmNewFolder(bool confirm) { m_confirmNewFolder = confirm; }

    // 0 hides Help and moves OK and Cancel into the places of Cancel and Help.
    int helpContext() const { return m_helpContext; }
    void setHelpContext(int context);

    // Accepts unless a missing folder must be confirmed and the user declines.
    void accept() override;

    TDirectoryListBox *const DirList;
    QLineEdit *const DirEdit;
    TDriveComboBox *const DriveList;
    TPathLabel *const DirLabel;
    QPushButton *const OKButton;
    QPushButton *const CancelButton;
    QPushButton *const HelpButton;
    QPushButton *const NetButton;
    TFileListBox *const FileList;

public slots:
    void DirListChange();
    void DriveListChange();
    void NetClick();
    void OKClick();
    void HelpButtonClick();

private:
    void FormCreate();

    bool m_allowNewFolder = false;
    bool m_confirmNewFolder = false;
    int m_helpContext = 0;
};

// The help text the Help button shows.
QString folderChooserHelpText();

} // namespace chooser
