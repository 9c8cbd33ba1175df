#include "chooser/select_dir_dlg.h"

#include "chooser/current_folder.h"
#include "chooser/directory_list_box.h"
#include "chooser/drive_combo_box.h"
#include "chooser/error_hook.h"
#include "chooser/file_list_box.h"
#include "chooser/path_label.h"
#include "chooser/path_text.h"
#include "platform/folders.h"

#include "lumivor_version.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace chooser {

namespace {

QLabel *addLabel(QWidget *parent, const QString &text, const QRect &geometry, QWidget *buddy)
{
    auto *label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setBuddy(buddy);
    return label;
}

} // namespace

QString folderChooserHelpText()
{
    return QStringLiteral(
        "Choosing a folder\n\n"
        "Pick a volume under Drives, then double-click a folder under Directories to open it; "
        "the folders above the current one take you back up. The files of the folder are shown "
        "in grey so you can tell you are in the right place.\n\n"
        "You can also type a folder into Directory Name. When it does not exist yet, you are "
        "asked whether to create it, together with any folders missing above it.\n\n"
        "Press OK to use the folder, or Cancel to leave the field as it was.\n\n"
        "Lumivor ")
           + QLatin1String(lumivorVersion);
}

// Every control is placed at its designed position in device-independent pixels; Qt's
// high-DPI scaling takes care of other pixel densities.
TSelectDirDlg::TSelectDirDlg(QWidget *parent)
    : QDialog(parent)
    , m_folder(new CurrentFolder(this))
    , DirList(new TDirectoryListBox(m_folder, this))
    , DirEdit(new QLineEdit(this))
    , DriveList(new TDriveComboBox(m_folder, this))
    , DirLabel(new TPathLabel(this))
    , OKButton(new QPushButton(QStringLiteral("OK"), this))
    , CancelButton(new QPushButton(QStringLiteral("Cancel"), this))
    , HelpButton(new QPushButton(QStringLiteral("&Help"), this))
    , NetButton(new QPushButton(QStringLiteral("Ne&twork..."), this))
    , FileList(new TFileListBox(m_folder, this))
{
    setWindowTitle(QStringLiteral("Select Directory"));
    setFixedSize(424, 255);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // The layout was designed around a font 11 pixels high; a larger default font would cut
    // the captions.
    QFont designed = font();
    designed.setPixelSize(11);
    setFont(designed);

    addLabel(this, QStringLiteral("Directory &Name:"), QRect(8, 8, 92, 13), DirEdit);
    DirEdit->setGeometry(8, 24, 313, 20);
    DirEdit->hide();
    DirLabel->setGeometry(120, 8, 213, 13);

    addLabel(this, QStringLiteral("&Directories:"), QRect(8, 56, 66, 13), DirList);
    DirList->setGeometry(8, 72, 213, 138);
    DirList->setRowHeight(17);

    addLabel(this, QStringLiteral("&Files: (*.*)"), QRect(232, 56, 57, 13), FileList);
    FileList->setGeometry(232, 72, 185, 93);
    FileList->setRowHeight(13);
    QPalette grey = FileList->palette();
    grey.setColor(QPalette::Text, grey.color(QPalette::Disabled, QPalette::Text));
    FileList->setPalette(grey);

    addLabel(this, QStringLiteral("D&rives:"), QRect(232, 176, 41, 13), DriveList);
    DriveList->setGeometry(232, 192, 185, 19);

    NetButton->setGeometry(8, 224, 77, 27);
    NetButton->hide();
    OKButton->setGeometry(172, 224, 77, 27);
    CancelButton->setGeometry(256, 224, 77, 27);
    HelpButton->setGeometry(340, 224, 77, 27);

    // Enter anywhere presses OK, never the button that last had the focus.
    for (QPushButton *button : { OKButton, CancelButton, HelpButton, NetButton })
        button->setAutoDefault(false);
    OKButton->setDefault(true);

    setTabOrder(DirList, DirEdit);
    setTabOrder(DirEdit, DriveList);
    setTabOrder(DriveList, NetButton);
    setTabOrder(NetButton, OKButton);
    setTabOrder(OKButton, CancelButton);
    setTabOrder(CancelButton, FileList);
    setTabOrder(FileList, HelpButton);

    connect(DirList, &TDirectoryListBox::changed, this, &TSelectDirDlg::DirListChange);
    connect(DriveList, &TDriveComboBox::changed, this, &TSelectDirDlg::DriveListChange);
    connect(NetButton, &QPushButton::clicked, this, &TSelectDirDlg::NetClick);
    connect(OKButton, &QPushButton::clicked, this, &TSelectDirDlg::OKClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpButton, &QPushButton::clicked, this, &TSelectDirDlg::HelpButtonClick);

    FormCreate();
    DirList->setFocus();
}

void TSelectDirDlg::FormCreate()
{
    // There is no network-connection dialog to offer on this platform.
    NetButton->hide();
    setAllowNewFolder(false);
    DirLabel->setGeometry(DirEdit->geometry());
    DirLabel->follow(m_folder);
    DirListChange();
}

void TSelectDirDlg::setDirectory(const QString &folder)
{
    try {
        DirList->setDirectory(folder);
    } catch (const platform::EInOutError &) {
        // The dialog still opens, at the folder it shows already.
    }
}

void TSelectDirDlg::setVolumes(const std::vector<platform::Volume> &volumes)
{
    m_folder->setVolumes(volumes);
}

QString TSelectDirDlg::directory() const
{
    return m_allowNewFolder ? DirEdit->text() : DirLabel->text();
}

void TSelectDirDlg::setAllowNewFolder(bool allow)
{
    m_allowNewFolder = allow;
    DirLabel->setVisible(!allow);
    DirEdit->setVisible(allow);
}

void TSelectDirDlg::setHelpContext(int context)
{
    m_helpContext = context;
    const bool withHelp = context != 0;
    HelpButton->setVisible(withHelp);
    OKButton->move(withHelp ? 172 : 256, 224);
    CancelButton->move(withHelp ? 256 : 340, 224);
}

// The path label and the file list follow the folder themselves; only the path field, which
// the user may edit, is set from here.
void TSelectDirDlg::DirListChange()
{
    DirEdit->setText(m_folder->text());
    DirEdit->selectAll();
}

void TSelectDirDlg::DriveListChange()
{
    forwardErrors(this, [this] { DirList->setDrive(DriveList->drive()); });
}

void TSelectDirDlg::NetClick() { }

void TSelectDirDlg::OKClick()
{
    accept();
}

void TSelectDirDlg::accept()
{
    if (m_allowNewFolder && m_confirmNewFolder
        && !platform::DirectoryExists(pathBytes(DirEdit->text()))) {
        QMessageBox question(QMessageBox::Question, QStringLiteral("Confirm"),
            QStringLiteral("The specified directory does not exist. Create it?"),
            QMessageBox::NoButton, this);
        QPushButton *yes = question.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        QPushButton *no = question.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        question.setDefaultButton(yes);
        question.setEscapeButton(no);
        question.exec();
        if (question.clickedButton() != yes)
            return;
    }
    QDialog::accept();
}

void TSelectDirDlg::HelpButtonClick()
{
    QMessageBox::information(this, QStringLiteral("Help"), folderChooserHelpText());
}

} // namespace chooser
