#include "chooser/directory_list_box.h"
#include "chooser/drive_combo_box.h"
#include "chooser/file_list_box.h"
#include "chooser/path_label.h"
#include "chooser/pick_folder.h"
#include "chooser/select_dir_dlg.h"
#include "test_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using chooser::PickFolder;
using chooser::TSelectDirDlg;
using namespace testing_support;

namespace {

constexpr int allOptions
    = chooser::AllowNewFolder | chooser::CreateOnAccept | chooser::ConfirmNewFolder;

// A press first: the view opens only a row that the same button pressed.
void doubleClickRow(chooser::TDirectoryListBox *list, int row)
{
    const QPoint where = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, where);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, where);
}

int rowNamed(const chooser::TDirectoryListBox *list, const QString &text)
{
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->text() == text)
            return row;
    return -1;
}

// Types text into the path field, replacing what is there, and presses OK.
void typeAndPressOk(TSelectDirDlg *dialog, const QString &text)
{
    dialog->DirEdit->clear();
    QTest::keyClicks(dialog->DirEdit, text);
    dialog->OKButton->click();
}

} // namespace

class tst_SelectDirDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void init();
    void cleanup();

    void layoutAsDesigned();
    void withoutHelpOkAndCancelMoveRight();
    void listsFollowTheFolderShown();
    void okOnExistingFolderGivesThePathShown();
    void newNestedPathIsCreatedAfterYes_data();
    void newNestedPathIsCreatedAfterYes();
    void noKeepsTheDialogOpen();
    void emptyPathAndYesRaisesAndKeepsFolder();
    void folderThatCannotBeCreatedIsReported();
    void cancelEscapeAndCloseGiveFalse_data();
    void cancelEscapeAndCloseGiveFalse();
    void secondChooserOpensWhereTheFirstLeft();
    void startingFolderIsOpenedOrIgnored();
    void folderThatCannotBeEnteredShowsErrorAndDialogStaysUsable();
    void helpShowsOwnText();
    void choosingAVolumeEntersItsLastFolderOrReportsAndStays();

private:
    QString path(const QString &relative) const { return m_root + QLatin1Char('/') + relative; }

    std::unique_ptr<QTemporaryDir> m_temp;
    std::unique_ptr<CurrentDirGuard> m_cwd;
    QString m_root;
};

void tst_SelectDirDlg::init()
{
    m_cwd = std::make_unique<CurrentDirGuard>();
    m_temp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_temp->isValid());
    m_root = canonical(m_temp->path());
    makeTree(m_root,
        { "photos/b.jpg", "photos/A.jpg", "photos/.hidden.jpg", "photos/2005/", "photos/.thumbs/",
            "other/" });
    QVERIFY(QDir::setCurrent(path(QStringLiteral("photos"))));
}

void tst_SelectDirDlg::cleanup()
{
    m_cwd.reset();
    m_temp.reset();
    QVERIFY(noWindowLeftOpen());
}

void tst_SelectDirDlg::layoutAsDesigned()
{
    TSelectDirDlg dialog;
    dialog.setAllowNewFolder(true);
    dialog.setHelpContext(1000);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Directory"));
    QCOMPARE(dialog.size(), QSize(424, 255));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.DirList->geometry(), QRect(8, 72, 213, 138));
    QCOMPARE(dialog.FileList->geometry(), QRect(232, 72, 185, 93));
    QCOMPARE(dialog.DriveList->geometry(), QRect(232, 192, 185, 19));
    QCOMPARE(dialog.DirEdit->geometry(), QRect(8, 24, 313, 20));
    QCOMPARE(dialog.DirLabel->geometry(), dialog.DirEdit->geometry());
    QCOMPARE(dialog.OKButton->geometry(), QRect(172, 224, 77, 27));
    QCOMPARE(dialog.HelpButton->geometry(), QRect(340, 224, 77, 27));
    QVERIFY(dialog.OKButton->isDefault());
    QVERIFY(!dialog.NetButton->isVisible());
    QVERIFY(dialog.DirEdit->isVisible());
    QVERIFY(!dialog.DirLabel->isVisible());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(dialog.DirList));

    QMap<QString, QWidget *> buddies;
    for (QLabel *label : dialog.findChildren<QLabel *>())
        if (label->buddy())
            buddies.insert(label->text(), label->buddy());
    QCOMPARE(buddies.value(QStringLiteral("Directory &Name:")), dialog.DirEdit);
    QCOMPARE(buddies.value(QStringLiteral("&Directories:")), dialog.DirList);
    QCOMPARE(buddies.value(QStringLiteral("&Files: (*.*)")), dialog.FileList);
    QCOMPARE(buddies.value(QStringLiteral("D&rives:")), dialog.DriveList);

    dialog.setAllowNewFolder(false);
    QVERIFY(!dialog.DirEdit->isVisible());
    QVERIFY(dialog.DirLabel->isVisible());
    dialog.close();
}

void tst_SelectDirDlg::withoutHelpOkAndCancelMoveRight()
{
    TSelectDirDlg dialog;
    dialog.setHelpContext(0);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(!dialog.HelpButton->isVisible());
    QCOMPARE(dialog.OKButton->pos(), QPoint(256, 224));
    QCOMPARE(dialog.CancelButton->pos(), QPoint(340, 224));
    dialog.close();
}

void tst_SelectDirDlg::listsFollowTheFolderShown()
{
    TSelectDirDlg dialog;
    dialog.setAllowNewFolder(true);
    QCOMPARE(dialog.DirList->directory(), path(QStringLiteral("photos")));
    QCOMPARE(dialog.FileList->count(), 2); // the hidden file is left out
    QCOMPARE(dialog.FileList->item(0)->text(), QStringLiteral("A.jpg"));
    QCOMPARE(rowNamed(dialog.DirList, QStringLiteral(".thumbs")), -1);

    dialog.DirList->setDirectory(path(QStringLiteral("other")));
    QCOMPARE(dialog.DirLabel->text(), path(QStringLiteral("other")));
    QCOMPARE(dialog.DirEdit->text(), path(QStringLiteral("other")));
    QCOMPARE(dialog.DirEdit->selectedText(), dialog.DirEdit->text());
    QCOMPARE(dialog.FileList->directory(), path(QStringLiteral("other")));
    QCOMPARE(dialog.FileList->count(), 0);
    QCOMPARE(dialog.DriveList->drive(),
        QString::fromStdString(
            platform::VolumeOf(platform::GetCurrentDir(), platform::ListVolumes())));
    // Typing does not move the lists.
    QTest::keyClicks(dialog.DirEdit, QStringLiteral("/somewhere"));
    QCOMPARE(dialog.DirList->directory(), path(QStringLiteral("other")));
}

void tst_SelectDirDlg::okOnExistingFolderGivesThePathShown()
{
    ModalWatcher<QMessageBox> question([](QMessageBox *box) { box->reject(); });
    ModalWatcher<TSelectDirDlg> pressOk([](TSelectDirDlg *dialog) {
        doubleClickRow(dialog->DirList, rowNamed(dialog->DirList, QStringLiteral("2005")));
        dialog->OKButton->click();
    });
    QString folder;
    QVERIFY(PickFolder(folder, allOptions, 1000));
    QVERIFY(pressOk.seen());
    QVERIFY(!question.seen());
    QCOMPARE(folder, path(QStringLiteral("photos/2005")));
    QCOMPARE(canonical(QDir::currentPath()), path(QStringLiteral("photos/2005")));
}

void tst_SelectDirDlg::newNestedPathIsCreatedAfterYes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("created");
    // The absolute form is filled in by the test, since the root is known only then.
    QTest::newRow("absolute") << QStringLiteral("ROOT/new/sub") << QStringLiteral("new/sub");
    QTest::newRow("trailing slash kept")
        << QStringLiteral("ROOT/new/sub/") << QStringLiteral("new/sub");
    QTest::newRow("relative to the folder shown")
        << QStringLiteral("fresh/deeper") << QStringLiteral("photos/fresh/deeper");
    QTest::newRow("single relative name")
        << QStringLiteral("single") << QStringLiteral("photos/single");
}

void tst_SelectDirDlg::newNestedPathIsCreatedAfterYes()
{
    QFETCH(QString, typed);
    QFETCH(QString, created);
    typed.replace(QStringLiteral("ROOT"), m_root);

    QString text;
    QString title;
    QString defaultButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ModalWatcher<QMessageBox> answerYes([&](QMessageBox *box) {
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        QTest::keyClick(box, Qt::Key_Return); // the default button answers
    });
    ModalWatcher<TSelectDirDlg> type([&](TSelectDirDlg *dialog) { typeAndPressOk(dialog, typed); });

    QString folder;
    QVERIFY(PickFolder(folder, allOptions, 1000));
    QVERIFY(answerYes.seen());
    QCOMPARE(text, QStringLiteral("The specified directory does not exist. Create it?"));
    QCOMPARE(title, QStringLiteral("Confirm"));
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(defaultButton, QStringLiteral("&Yes"));
    QCOMPARE(folder, typed);
    QVERIFY(QFileInfo(path(created)).isDir());
}

void tst_SelectDirDlg::noKeepsTheDialogOpen()
{
    const QString missing = path(QStringLiteral("not/yet"));
    bool stillOpen = false;
    QString textAfterNo;
    ModalWatcher<TSelectDirDlg> type([&](TSelectDirDlg *dialog) {
        ModalWatcher<QMessageBox> answerNo([](QMessageBox *box) {
            for (QAbstractButton *button : box->buttons())
                if (button->text() == QStringLiteral("&No"))
                    button->click();
        });
        typeAndPressOk(dialog, missing);
        stillOpen = dialog->isVisible() && dialog->result() != QDialog::Accepted;
        textAfterNo = dialog->DirEdit->text();
        dialog->CancelButton->click();
    });
    QString folder = QStringLiteral("kept");
    QVERIFY(!PickFolder(folder, allOptions, 1000));
    QVERIFY(stillOpen);
    QCOMPARE(textAfterNo, missing);
    QCOMPARE(folder, QStringLiteral("kept"));
    QVERIFY(!QFileInfo::exists(missing));
}

void tst_SelectDirDlg::emptyPathAndYesRaisesAndKeepsFolder()
{
    ModalWatcher<QMessageBox> answerYes([](QMessageBox *box) { box->defaultButton()->click(); });
    ModalWatcher<TSelectDirDlg> clear([](TSelectDirDlg *dialog) { typeAndPressOk(dialog, {}); });
    QString folder = QStringLiteral("kept");
    try {
        PickFolder(folder, allOptions, 1000);
        QFAIL("no error");
    } catch (const platform::EInOutError &error) {
        QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("Unable to create directory"));
    }
    QVERIFY(answerYes.seen());
    QCOMPARE(folder, QStringLiteral("kept"));
}

// Success must not be reported for a folder that is not there: the run would fail later.
void tst_SelectDirDlg::folderThatCannotBeCreatedIsReported()
{
    const QString impossible = path(QStringLiteral("photos/b.jpg/sub"));
    ModalWatcher<QMessageBox> answerYes([](QMessageBox *box) { box->defaultButton()->click(); });
    ModalWatcher<TSelectDirDlg> type(
        [&](TSelectDirDlg *dialog) { typeAndPressOk(dialog, impossible); });
    QString folder = QStringLiteral("kept");
    QVERIFY_THROWS_EXCEPTION(platform::EInOutError, PickFolder(folder, allOptions, 1000));
    QCOMPARE(folder, QStringLiteral("kept"));
}

void tst_SelectDirDlg::cancelEscapeAndCloseGiveFalse_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("close") << 2;
}

void tst_SelectDirDlg::cancelEscapeAndCloseGiveFalse()
{
    QFETCH(int, how);
    ModalWatcher<TSelectDirDlg> leave([how](TSelectDirDlg *dialog) {
        dialog->DirEdit->setText(QStringLiteral("/typed/but/dropped"));
        if (how == 0)
            dialog->CancelButton->click();
        else if (how == 1)
            QTest::keyClick(dialog->DirList, Qt::Key_Escape);
        else
            dialog->close();
    });
    QString folder = QStringLiteral("kept");
    QVERIFY(!PickFolder(folder, allOptions, 1000));
    QVERIFY(leave.seen());
    QCOMPARE(folder, QStringLiteral("kept"));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/typed")));
}

void tst_SelectDirDlg::secondChooserOpensWhereTheFirstLeft()
{
    ModalWatcher<TSelectDirDlg> walkAndCancel([](TSelectDirDlg *dialog) {
        doubleClickRow(dialog->DirList, rowNamed(dialog->DirList, QStringLiteral("2005")));
        dialog->CancelButton->click();
    });
    QString folder;
    QVERIFY(!PickFolder(folder, allOptions, 1000));

    QString openedAt;
    ModalWatcher<TSelectDirDlg> look([&](TSelectDirDlg *dialog) {
        openedAt = dialog->DirList->directory();
        dialog->OKButton->click();
    });
    QVERIFY(PickFolder(folder, allOptions, 1000));
    QCOMPARE(openedAt, path(QStringLiteral("photos/2005")));
    QCOMPARE(folder, openedAt);
}

void tst_SelectDirDlg::startingFolderIsOpenedOrIgnored()
{
    QString openedAt;
    ModalWatcher<TSelectDirDlg> look([&](TSelectDirDlg *dialog) {
        openedAt = dialog->DirList->directory();
        dialog->CancelButton->click();
    });
    QString folder = path(QStringLiteral("other/"));
    QVERIFY(!PickFolder(folder, allOptions, 1000));
    QCOMPARE(openedAt, path(QStringLiteral("other")));

    // A starting folder that cannot be entered opens the dialog where it was.
    ModalWatcher<TSelectDirDlg> again([&](TSelectDirDlg *dialog) {
        openedAt = dialog->DirList->directory();
        dialog->CancelButton->click();
    });
    folder = path(QStringLiteral("missing"));
    QVERIFY(!PickFolder(folder, allOptions, 1000));
    QCOMPARE(openedAt, path(QStringLiteral("other")));
}

void tst_SelectDirDlg::folderThatCannotBeEnteredShowsErrorAndDialogStaysUsable()
{
    makeTree(m_root, { "photos/doomed/" });
    ErrorRecorder errors;
    TSelectDirDlg dialog;
    dialog.setAllowNewFolder(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const int doomed = rowNamed(dialog.DirList, QStringLiteral("doomed"));
    QVERIFY(doomed > 0);
    QVERIFY(QDir().rmdir(path(QStringLiteral("photos/doomed"))));

    doubleClickRow(dialog.DirList, doomed);
    QCOMPARE(errors.messages.size(), 1);
    QVERIFY2(errors.messages[0].contains(QStringLiteral("photos/doomed")),
        qPrintable(errors.messages[0]));
    QVERIFY(errors.messages[0].endsWith(QLatin1Char('.')));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.DirList->directory(), path(QStringLiteral("photos")));
    QCOMPARE(dialog.DirEdit->text(), path(QStringLiteral("photos")));
    QCOMPARE(dialog.FileList->directory(), path(QStringLiteral("photos")));

    doubleClickRow(dialog.DirList, rowNamed(dialog.DirList, QStringLiteral("2005")));
    QCOMPARE(dialog.DirEdit->text(), path(QStringLiteral("photos/2005")));
    QCOMPARE(errors.messages.size(), 1);
    dialog.close();
}

void tst_SelectDirDlg::helpShowsOwnText()
{
    TSelectDirDlg dialog;
    dialog.setHelpContext(1000);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QString text;
    ModalWatcher<QMessageBox> read([&](QMessageBox *box) {
        text = box->text();
        box->accept();
    });
    dialog.HelpButton->click();
    QVERIFY(read.seen());
    QCOMPARE(text, chooser::folderChooserHelpText());
    QVERIFY(dialog.isVisible());
    dialog.close();
}

void tst_SelectDirDlg::choosingAVolumeEntersItsLastFolderOrReportsAndStays()
{
    auto volume = [](const QString &mountPoint) {
        platform::Volume v;
        v.mountPoint = QFile::encodeName(mountPoint).toStdString();
        return v;
    };
    ErrorRecorder errors;
    TSelectDirDlg dialog;
    dialog.setVolumes({ volume(QStringLiteral("/")), volume(path(QStringLiteral("other"))),
        volume(path(QStringLiteral("gone"))) });
    QCOMPARE(dialog.DriveList->drive(), QStringLiteral("/"));
    QCOMPARE(dialog.DriveList->count(), 3);
    dialog.DirList->setDirectory(path(QStringLiteral("photos/2005")));

    dialog.DriveList->setDrive(path(QStringLiteral("other")));
    QCOMPARE(dialog.DirList->directory(), path(QStringLiteral("other")));
    QCOMPARE(dialog.DirEdit->text(), path(QStringLiteral("other")));

    // Back on "/", the folder last shown there.
    dialog.DriveList->setDrive(QStringLiteral("/"));
    QCOMPARE(dialog.DirList->directory(), path(QStringLiteral("photos/2005")));
    QCOMPARE(dialog.DriveList->drive(), QStringLiteral("/"));

    // A volume that cannot be entered: reported, and both lists stay on the folder shown.
    dialog.DriveList->setDrive(path(QStringLiteral("gone")));
    QCOMPARE(errors.messages.size(), 1);
    QCOMPARE(dialog.DirList->directory(), path(QStringLiteral("photos/2005")));
    QCOMPARE(dialog.DriveList->drive(), QStringLiteral("/"));
    QCOMPARE(dialog.DriveList->currentIndex(), 0);
}

QTEST_MAIN(tst_SelectDirDlg)
#include "tst_select_dir_dlg.moc"
