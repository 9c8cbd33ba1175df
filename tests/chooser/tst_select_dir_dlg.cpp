#include "chooser/directory_list_box.h"
#include "chooser/drive_combo_box.h"
#include "chooser/file_list_box.h"
#include "chooser/path_label.h"
#include "chooser/path_text.h"
#include "chooser/pick_folder.h"
#include "chooser/select_dir_dlg.h"
#include "test_support.h"
#include "tests/support/without_file_capabilities.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <fstream>
#include <memory>

#include <dlfcn.h>

using chooser::pathBytes;
using chooser::pathText;
using chooser::PickFolder;
using chooser::TSelectDirDlg;
using namespace testing_support;

namespace {

int chdirCalls = 0;

} // namespace

// Every change of this program's current folder passes here, whoever makes it: the tests count
// how often one navigation enters a folder.
extern "C" int chdir(const char *path) noexcept
{
    using Chdir = int (*)(const char *);
    static const auto next = reinterpret_cast<Chdir>(dlsym(RTLD_NEXT, "chdir"));
    ++chdirCalls;
    return next(path);
}

namespace {

platform::Volume volume(const QString &mountPoint)
{
    return platform::Volume { pathBytes(mountPoint), {}, {}, {}, {} };
}

constexpr int allOptions = 7;

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
    void okOnExistingFolderGivesThePathShown();
    void newPathIsCreatedAfterYes_data();
    void newPathIsCreatedAfterYes();
    void noKeepsTheDialogOpen();
    void folderThatCannotBeCreatedRaises_data();
    void folderThatCannotBeCreatedRaises();
    void cancelEscapeAndCloseGiveFalse();
    void nextChooserOpensWhereTheLastLeft();
    void folderThatCannotBeEnteredShowsError_data();
    void folderThatCannotBeEnteredShowsError();
    void volumeEntersItsLastFolderOrReportsAndStays();
    void oneNavigationEntersOnceAndEveryViewFollows_data();
    void oneNavigationEntersOnceAndEveryViewFollows();

private:
    QString path(const QString &relative) const { return m_tree->path(relative); }
    std::unique_ptr<TempTree> m_tree;
};

void tst_SelectDirDlg::init()
{
    m_tree = std::make_unique<TempTree>();
    m_tree->make({ "photos/b.jpg", "photos/A.jpg", "photos/.hidden.jpg", "photos/2005/",
        "photos/.thumbs/", "other/" });
    QDir::setCurrent(path(QStringLiteral("photos")));
}

void tst_SelectDirDlg::cleanup()
{
    m_tree.reset();
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
    QCOMPARE(dialog.minimumSize(), QSize(424, 255));
    QCOMPARE(dialog.maximumSize(), QSize(424, 255));
    QCOMPARE(dialog.DirList->geometry(), QRect(8, 72, 213, 138));
    QCOMPARE(dialog.DirLabel->geometry(), dialog.DirEdit->geometry());
    QVERIFY(dialog.DirEdit->isVisible() && !dialog.DirLabel->isVisible());
    QVERIFY(!dialog.NetButton->isVisible());
    QVERIFY(dialog.OKButton->isDefault());
    QCOMPARE(QApplication::focusWidget(), dialog.DirList);

    QList<QWidget *> buddies; // of "Directory &Name:", "&Directories:", "&Files:", "D&rives:"
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        if (label->buddy())
            buddies << label->buddy();
    QCOMPARE(buddies,
        QList<QWidget *>({ dialog.DirEdit, dialog.DirList, dialog.FileList, dialog.DriveList }));

    // The lists show the folder; hidden entries are left out.
    QCOMPARE(dialog.DirEdit->text(), path(QStringLiteral("photos")));
    QCOMPARE(dialog.FileList->count(), 2);
    QVERIFY(dialog.DirList->findItems(QStringLiteral(".thumbs"), Qt::MatchExactly).isEmpty());

    ModalWatcher<QMessageBox> help([](QMessageBox *box) { box->accept(); });
    dialog.HelpButton->click();
    QVERIFY(help.seen());

    dialog.setHelpContext(0);
    QVERIFY(!dialog.HelpButton->isVisible());
    QCOMPARE(dialog.OKButton->pos(), QPoint(256, 224));
    QCOMPARE(dialog.CancelButton->pos(), QPoint(340, 224));
    dialog.close();
}

void tst_SelectDirDlg::okOnExistingFolderGivesThePathShown()
{
    ModalWatcher<QMessageBox> question([](QMessageBox *box) { box->reject(); });
    ModalWatcher<TSelectDirDlg> pressOk([](TSelectDirDlg *dialog) {
        openRow(dialog->DirList, QStringLiteral("2005"));
        dialog->OKButton->click();
    });
    QString folder;
    QVERIFY(PickFolder(folder, allOptions, 1000));
    QVERIFY(!question.seen());
    QCOMPARE(folder, path(QStringLiteral("photos/2005")));
    QCOMPARE(currentFolder(), folder);
}

void tst_SelectDirDlg::newPathIsCreatedAfterYes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("created");
    QTest::newRow("absolute, trailing /") << "ROOT/new/sub/"
                                          << "new/sub";
    QTest::newRow("relative to the folder shown") << "fresh/deeper"
                                                  << "photos/fresh/deeper";
    QTest::newRow("one relative name") << "single"
                                       << "photos/single";
}

void tst_SelectDirDlg::newPathIsCreatedAfterYes()
{
    QFETCH(QString, typed);
    QFETCH(QString, created);
    typed.replace(QStringLiteral("ROOT"), m_tree->root);

    QStringList seen; // title, text, icon, default button
    ModalWatcher<QMessageBox> answerYes([&](QMessageBox *box) {
        seen << box->windowTitle() << box->text() << QString::number(box->icon())
             << box->defaultButton()->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    ModalWatcher<TSelectDirDlg> type([&](TSelectDirDlg *dialog) { typeAndPressOk(dialog, typed); });
    QString folder;
    QVERIFY(PickFolder(folder, allOptions, 1000));
    QCOMPARE(seen,
        QStringList({ "Confirm", "The specified directory does not exist. Create it?",
            QString::number(QMessageBox::Question), "&Yes" }));
    QCOMPARE(folder, typed);
    QVERIFY(QFileInfo(path(created)).isDir());
}

void tst_SelectDirDlg::noKeepsTheDialogOpen()
{
    const QString missing = path(QStringLiteral("not/yet"));
    bool stillOpen = false;
    ModalWatcher<TSelectDirDlg> type([&](TSelectDirDlg *dialog) {
        ModalWatcher<QMessageBox> answerNo([](QMessageBox *box) {
            for (QAbstractButton *button : box->buttons())
                if (button->text() == QStringLiteral("&No"))
                    button->click();
        });
        typeAndPressOk(dialog, missing);
        stillOpen = answerNo.seen() && dialog->isVisible() && dialog->DirEdit->text() == missing;
        dialog->CancelButton->click();
    });
    QString folder = QStringLiteral("kept");
    QVERIFY(!PickFolder(folder, allOptions, 1000));
    QVERIFY(stillOpen);
    QCOMPARE(folder, QStringLiteral("kept"));
    QVERIFY(!QFileInfo::exists(missing));
}

void tst_SelectDirDlg::folderThatCannotBeCreatedRaises_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << QString();
    QTest::newRow("below a file") << QStringLiteral("b.jpg/sub");
}

// The caller's folder stays, and success is not reported for a folder that is not there.
void tst_SelectDirDlg::folderThatCannotBeCreatedRaises()
{
    QFETCH(QString, typed);
    ModalWatcher<QMessageBox> answerYes([](QMessageBox *box) { box->defaultButton()->click(); });
    ModalWatcher<TSelectDirDlg> type([&](TSelectDirDlg *dialog) { typeAndPressOk(dialog, typed); });
    QString folder = QStringLiteral("kept");
    try {
        PickFolder(folder, allOptions, 1000);
        QFAIL("no error");
    } catch (const platform::EInOutError &error) {
        QVERIFY(QString::fromUtf8(error.what()).startsWith("Unable to create directory"));
    }
    QVERIFY(answerYes.seen());
    QCOMPARE(folder, QStringLiteral("kept"));
}

void tst_SelectDirDlg::cancelEscapeAndCloseGiveFalse()
{
    const QString typed = path(QStringLiteral("dropped"));
    for (int how = 0; how < 3; ++how) {
        ModalWatcher<TSelectDirDlg> leave([&](TSelectDirDlg *dialog) {
            dialog->DirEdit->setText(typed);
            if (how == 0)
                dialog->CancelButton->click();
            else if (how == 1)
                QTest::keyClick(dialog->DirList, Qt::Key_Escape);
            else
                dialog->close();
        });
        QString folder = QStringLiteral("kept");
        QVERIFY(!PickFolder(folder, allOptions, 1000));
        QCOMPARE(folder, QStringLiteral("kept"));
    }
    QVERIFY(!QFileInfo::exists(typed));
}

// The first chooser walks into 2005 and is cancelled; the next two open there, the last one
// although it was given a starting folder that cannot be entered.
void tst_SelectDirDlg::nextChooserOpensWhereTheLastLeft()
{
    QStringList openedAt;
    const QStringList starts { QString(), QString(), path(QStringLiteral("missing")) };
    for (int i = 0; i < 3; ++i) {
        ModalWatcher<TSelectDirDlg> look([&](TSelectDirDlg *dialog) {
            openedAt << dialog->DirList->directory();
            if (i == 0)
                openRow(dialog->DirList, QStringLiteral("2005"));
            dialog->CancelButton->click();
        });
        QString folder = starts[i];
        QVERIFY(!PickFolder(folder, allOptions, 1000));
    }
    const QString walked = path(QStringLiteral("photos/2005"));
    QCOMPARE(openedAt, QStringList({ path(QStringLiteral("photos")), walked, walked }));
}

void tst_SelectDirDlg::folderThatCannotBeEnteredShowsError_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("removed") << QStringLiteral("removed");
    QTest::newRow("now a file") << QStringLiteral("file");
    QTest::newRow("no permission") << QStringLiteral("permission");
}

// The folder is listed, then becomes impossible to enter: the error reaches the error display,
// the dialog stays open on its folder and goes on working.
void tst_SelectDirDlg::folderThatCannotBeEnteredShowsError()
{
    QFETCH(QString, how);
    std::unique_ptr<testing_support::WithoutFileCapabilities> asUser;
    if (how == QStringLiteral("permission") && geteuid() == 0) {
        asUser = std::make_unique<testing_support::WithoutFileCapabilities>();
        if (!asUser->active())
            QSKIP("root enters any folder, and its capabilities cannot be dropped here");
    }
    const QString bad = path(QStringLiteral("photos/bad"));
    m_tree->make({ "photos/bad/" });
    ErrorRecorder errors;
    TSelectDirDlg dialog;
    dialog.setAllowNewFolder(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    if (how == QStringLiteral("permission")) {
        QVERIFY(QFile::setPermissions(bad, {}));
    } else {
        QVERIFY(QDir().rmdir(bad));
        if (how == QStringLiteral("file"))
            m_tree->make({ "photos/bad" });
    }

    openRow(dialog.DirList, QStringLiteral("bad"));
    QCOMPARE(errors.messages.size(), 1);
    QVERIFY2(errors.messages[0].contains(bad), qPrintable(errors.messages[0]));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.DirList->directory(), path(QStringLiteral("photos")));
    QCOMPARE(dialog.DirEdit->text(), path(QStringLiteral("photos")));
    QCOMPARE(currentFolder(), path(QStringLiteral("photos")));

    openRow(dialog.DirList, QStringLiteral("2005"));
    QCOMPARE(dialog.FileList->directory(), path(QStringLiteral("photos/2005")));
    QCOMPARE(errors.messages.size(), 1);
    QFile::setPermissions(
        bad, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    dialog.close();
}

void tst_SelectDirDlg::volumeEntersItsLastFolderOrReportsAndStays()
{
    ErrorRecorder errors;
    TSelectDirDlg dialog;
    dialog.setVolumes({ volume(QStringLiteral("/")), volume(path(QStringLiteral("other"))),
        volume(path(QStringLiteral("gone"))) });
    dialog.DirList->setDirectory(path(QStringLiteral("photos/2005")));

    dialog.DriveList->setDrive(path(QStringLiteral("other")));
    QCOMPARE(dialog.DirEdit->text(), path(QStringLiteral("other")));
    dialog.DriveList->setDrive(QStringLiteral("/")); // back to the folder last shown there
    QCOMPARE(dialog.DirList->directory(), path(QStringLiteral("photos/2005")));

    // The drive is selected before it is entered, and stays selected when that fails.
    dialog.DriveList->setDrive(path(QStringLiteral("gone")));
    QCOMPARE(errors.messages.size(), 1);
    QCOMPARE(dialog.DirList->directory(), path(QStringLiteral("photos/2005")));
    QCOMPARE(dialog.DriveList->drive(), path(QStringLiteral("gone")));
}

void tst_SelectDirDlg::oneNavigationEntersOnceAndEveryViewFollows_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("open"); // a row's text, or a volume to choose
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("subfolder row") << "photos"
                                   << "2005"
                                   << "photos/2005" << QStringList { "c.jpg" };
    QTest::newRow("ancestor row") << "photos/2005"
                                  << "photos"
                                  << "photos" << QStringList { "A.jpg", "b.jpg" };
    QTest::newRow("volume") << "photos"
                            << "VOLUME other"
                            << "other" << QStringList { "d.jpg" };
    QTest::newRow("not UTF-8") << "photos" << pathText("caf\xe9") << pathText("photos/caf\xe9")
                               << QStringList { pathText("\xff.jpg") };
}

void tst_SelectDirDlg::oneNavigationEntersOnceAndEveryViewFollows()
{
    QFETCH(QString, start);
    QFETCH(QString, open);
    QFETCH(QString, folder);
    QFETCH(QStringList, files);
    m_tree->make({ "photos/2005/c.jpg", "other/d.jpg" });
    const std::string odd = pathBytes(path(QStringLiteral("photos/"))) + "caf\xe9";
    QVERIFY(platform::CreateDir(odd));
    std::ofstream(odd + "/\xff.jpg") << "x";

    TSelectDirDlg dialog;
    dialog.setAllowNewFolder(true);
    dialog.setVolumes({ volume(QStringLiteral("/")), volume(path(QStringLiteral("other"))) });
    dialog.setDirectory(path(start));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    chdirCalls = 0;
    if (open.startsWith(QStringLiteral("VOLUME "))) {
        const int item = dialog.DriveList->findText(path(open.mid(7)), Qt::MatchStartsWith);
        dialog.DriveList->setCurrentIndex(item);
        emit dialog.DriveList->activated(item);
    } else {
        openRow(dialog.DirList, open);
    }
    QCOMPARE(chdirCalls, 1);

    const QString expected = path(folder);
    QCOMPARE(pathText(platform::GetCurrentDir()), expected);
    QCOMPARE(dialog.DirList->directory(), expected);
    QCOMPARE(dialog.DirList->item(dialog.DirList->currentFolderRow())->text(),
        folder.section(QLatin1Char('/'), -1));
    QCOMPARE(dialog.DirList->currentRow(), dialog.DirList->currentFolderRow());
    QCOMPARE(dialog.FileList->directory(), expected);
    QStringList shown;
    for (int row = 0; row < dialog.FileList->count(); ++row)
        shown << dialog.FileList->item(row)->text();
    QCOMPARE(shown, files);
    QCOMPARE(dialog.DirLabel->text(), expected);
    QCOMPARE(dialog.DirEdit->text(), expected);
    QCOMPARE(dialog.DriveList->drive(),
        folder == QStringLiteral("other") ? expected : QStringLiteral("/"));
    QCOMPARE(pathBytes(dialog.directory()), platform::GetCurrentDir());
    dialog.close();
}

QTEST_MAIN(tst_SelectDirDlg)
#include "tst_select_dir_dlg.moc"
