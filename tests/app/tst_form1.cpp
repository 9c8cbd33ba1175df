#include "app/unit1.h"
#include "run/enhance_photo.h"
#include "app/error_display.h"
#include "chooser/path_text.h"
#include "chooser/select_dir_dlg.h"
#include "core/error.h"
#include "platform/folders.h"
#include "tests/chooser/test_support.h"
#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>
#include <new>
#include <stdexcept>

using testing_support::ModalWatcher;
using testing_support::TempFolder;
using testing_support::namesIn;
using testing_support::readBytes;
using testing_support::writeSamplePhoto;

namespace {

QString folderText(const std::string &path)
{
    return QString::fromStdString(path);
}

using Bytes = std::vector<std::uint8_t>;

// Photos a.jpg, b.jpg, ... in folder, each different; returns their bytes.
std::vector<Bytes> writePhotos(const TempFolder &folder, const std::vector<std::string> &names)
{
    std::vector<Bytes> originals;
    int seed = 0;
    for (const std::string &name : names) {
        writeSamplePhoto(folder.file(name), 300, 200, ++seed);
        originals.push_back(readBytes(folder.file(name)));
    }
    return originals;
}

// The bytes of each photo enhanced once.
std::vector<Bytes> enhancedOnce(const TempFolder &folder, const std::vector<std::string> &names)
{
    const TempFolder enhanced;
    app::TWorkingImages images;
    std::vector<Bytes> result;
    for (const std::string &name : names) {
        app::EnhancePhoto(images, folder.file(name), enhanced.file(name));
        result.push_back(readBytes(enhanced.file(name)));
    }
    return result;
}

} // namespace

class tst_Form1 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controlsKeepTheirRowsAndNeverOverlap();
    void windowIsFixedAndStartsAtRest();
    void windowFitsTheScreen();
    void captionsMatch();
    void escapeAndQuitCloseTheWindow_data();
    void escapeAndQuitCloseTheWindow();
    void enterInAFieldPressesNothing();
    void runShowsEachFileAndEndsWithDone();
    void emptyOrMissingSourceShowsDoneAtOnce_data();
    void emptyOrMissingSourceShowsDoneAtOnce();
    void missingDestinationKeepsTheFileNameAndTheBar();
    void secondPressAfterAnErrorStartsAgain();
    void closeDuringARunWaitsForItsEnd();
    void damagedPhotoInPlaceLeavesItAndTheRestUntouched();
    void inputDuringARunIsDropped_data();
    void inputDuringARunIsDropped();
    void errorsReachARealErrorBox();
    void folderButtonsFillTheirFieldOnlyOnOK_data();
    void folderButtonsFillTheirFieldOnlyOnOK();
    void folderNotNamedInUtf8GoesFromTheChooserToTheRun();
    void onlyOurErrorsShowTheirText();
    void errorTextAppendsAFullStop_data();
    void errorTextAppendsAFullStop();
    void applicationTitleComesFromTheExecutable_data();
    void applicationTitleComesFromTheExecutable();

private:
    void runIn(TForm1 &window, const QString &source, const QString &destination)
    {
        window.Edit1->setText(source);
        window.Edit2->setText(destination);
        QTest::mouseClick(window.btnOK, Qt::LeftButton);
    }

    QStringList m_errors;
    QString m_startFolder;      // the folder chooser moves the process's current folder
};

void tst_Form1::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void tst_Form1::init()
{
    m_startFolder = QDir::currentPath();
    m_errors.clear();
    app::currentErrorDisplay() = [this](QWidget *, const QString &message) {
        m_errors << message;
    };
}

void tst_Form1::cleanup()
{
    QDir::setCurrent(m_startFolder);
    app::currentErrorDisplay() = app::showErrorBox;
    QVERIFY(QApplication::topLevelWidgets().isEmpty()
            || std::none_of(QApplication::topLevelWidgets().begin(),
                            QApplication::topLevelWidgets().end(),
                            [](QWidget *widget) { return widget->isVisible(); }));
}

// What the layout must give, whatever its numbers: every control inside the window and clear of
// the others, each field in one row with its caption and its "..." button, the fields, the
// status and the bar in one column, the captions wide enough for their text.
void tst_Form1::controlsKeepTheirRowsAndNeverOverlap()
{
    TForm1 window;
    const QList<QWidget *> controls{window.Label1, window.Label2, window.lbFile, window.Edit1,
                                    window.Edit2,  window.btnSrc, window.btnDest,
                                    window.ProgressBar1, window.btnOK, window.btnQuit};
    for (int i = 0; i < controls.size(); ++i) {
        QCOMPARE(controls[i]->parentWidget(), &window);
        QVERIFY(window.rect().contains(controls[i]->geometry()));
        for (int j = i + 1; j < controls.size(); ++j)
            QVERIFY2(!controls[i]->geometry().intersects(controls[j]->geometry()),
                     qPrintable(QString("controls %1 and %2 overlap").arg(i).arg(j)));
    }
    const std::pair<QLabel *, QPushButton *> rows[] = {{window.Label1, window.btnSrc},
                                                       {window.Label2, window.btnDest}};
    for (QLineEdit *field : {window.Edit1, window.Edit2}) {
        const auto [caption, button] = rows[field == window.Edit2];
        QCOMPARE(button->y(), field->y());
        QCOMPARE(button->height(), field->height());
        QVERIFY(caption->geometry().center().y() > field->y());
        QVERIFY(caption->geometry().center().y() < field->geometry().bottom());
        QVERIFY(caption->width() >= caption->fontMetrics().horizontalAdvance(caption->text()));
    }
    for (QWidget *below : QList<QWidget *>{window.Edit2, window.lbFile, window.ProgressBar1}) {
        QCOMPARE(below->x(), window.Edit1->x());
        QCOMPARE(below->width(), window.Edit1->width());
    }
    QCOMPARE(window.btnOK->y(), window.btnQuit->y());

    const QStringList texts{window.Label1->text(), window.Label2->text(), window.btnSrc->text(),
                            window.btnDest->text(), window.btnOK->text(), window.btnQuit->text(),
                            window.lbFile->text(), window.Edit1->text(), window.Edit2->text()};
    QCOMPARE(texts, (QStringList{"Source folder", "Destination folder", "...", "...", "Do It!",
                                 "Quit", "", "", ""}));
    for (QPushButton *button : {window.btnSrc, window.btnDest, window.btnOK, window.btnQuit})
        QVERIFY(!button->isDefault() && !button->autoDefault());
}

void tst_Form1::windowIsFixedAndStartsAtRest()
{
    TForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QString("Lumivor"));
    QCOMPARE(window.size(), QSize(580, 218));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QVERIFY(!(window.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!window.ProgressBar1->isVisible());
    QCOMPARE(window.ProgressBar1->minimum(), 0);
    QCOMPARE(window.font().pixelSize(), 11);
    QVERIFY(!window.windowIcon().pixmap(32).isNull());

    // Tab order: fields first, then their buttons, then "Do It!" and "Quit".
    QList<QWidget *> tabStops;
    QWidget *widget = window.Edit1;
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            tabStops << widget;
        widget = widget->nextInFocusChain();
    } while (widget != window.Edit1);
    const QList<QWidget *> expected{window.Edit1, window.Edit2, window.btnSrc,
                                    window.btnDest, window.btnOK, window.btnQuit};
    QCOMPARE(tabStops, expected);
    window.close();
}

// Also run with QT_SCALE_FACTOR 1.25 and 1.5, where the 800 x 600 offscreen screen has too
// little room for the designed place.
void tst_Form1::windowFitsTheScreen()
{
    TForm1 window;
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // Room for the designed place with a frame of up to 5 pixels and a 40-pixel title bar.
    if (area.contains(QRect(202, 287, 580 + 10, 218 + 45))) {
        QCOMPARE(window.pos(), QPoint(202, 287));
        return;
    }
    QVERIFY(window.pos() != QPoint(202, 287));
    const QRect placed(window.pos(), window.size());
    if (placed.width() <= area.width())
        QVERIFY(placed.left() >= area.left() && placed.right() <= area.right());
    else
        QCOMPARE(placed.left(), area.left());
    if (placed.height() <= area.height())
        QVERIFY(placed.top() >= area.top() && placed.bottom() <= area.bottom());
    else
        QCOMPARE(placed.top(), area.top());
}

// Also run with QT_SCALE_FACTOR 1.25 and 1.5.
void tst_Form1::captionsMatch()
{
    TForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.Label1->font().pixelSize(), window.Label2->font().pixelSize());
    for (const QLabel *caption : {window.Label1, window.Label2}) {
        QVERIFY(caption->font().pixelSize() <= 11);
        QVERIFY(caption->width() >= caption->sizeHint().width());
        QVERIFY(caption->geometry().right() < window.Edit1->x());
    }
    window.close();
}

void tst_Form1::escapeAndQuitCloseTheWindow_data()
{
    QTest::addColumn<bool>("useEscape");
    QTest::newRow("Esc in a field") << true;
    QTest::newRow("Quit") << false;
}

void tst_Form1::escapeAndQuitCloseTheWindow()
{
    QFETCH(bool, useEscape);
    TForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    if (useEscape)
        QTest::keyClick(window.Edit2, Qt::Key_Escape);
    else
        QTest::mouseClick(window.btnQuit, Qt::LeftButton);
    QVERIFY(!window.isVisible());
}

void tst_Form1::enterInAFieldPressesNothing()
{
    TForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    TempFolder source;
    window.Edit1->setText(folderText(source.path()));
    window.Edit1->setFocus();
    QTest::keyClick(window.Edit1, Qt::Key_Return);
    QTest::keyClick(window.Edit1, Qt::Key_Enter);
    QVERIFY(window.isVisible());
    QCOMPARE(window.lbFile->text(), QString());
    window.close();
}

void tst_Form1::runShowsEachFileAndEndsWithDone()
{
    TempFolder source;
    TempFolder destination;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
        writeSamplePhoto(source.file(name));
    TForm1 window;
    window.show();

    QList<int> positions;
    QStringList labels;
    int maximumDuringRun = -1;
    connect(window.ProgressBar1, &QProgressBar::valueChanged, this, [&](int value) {
        positions << value;
        labels << window.lbFile->text();
        maximumDuringRun = window.ProgressBar1->maximum();
        QVERIFY(window.ProgressBar1->isVisible());
    });
    runIn(window, folderText(source.path()), folderText(destination.path()));

    QCOMPARE(m_errors, QStringList());
    QCOMPARE(maximumDuringRun, 3);
    positions.removeAll(0);
    QCOMPARE(positions, (QList<int>{1, 2, 3}));
    QCOMPARE(labels.mid(labels.size() - 3), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
    QCOMPARE(window.lbFile->text(), QString("Done"));
    QVERIFY(!window.ProgressBar1->isVisible());
    QCOMPARE(namesIn(destination.path()).size(), 3u);
    window.close();
}

void tst_Form1::emptyOrMissingSourceShowsDoneAtOnce_data()
{
    QTest::addColumn<bool>("missing");
    QTest::newRow("empty folder") << false;
    QTest::newRow("missing folder") << true;
}

void tst_Form1::emptyOrMissingSourceShowsDoneAtOnce()
{
    QFETCH(bool, missing);
    TempFolder source;
    TempFolder destination;
    TForm1 window;
    window.show();
    runIn(window, folderText(missing ? source.file("gone") : source.path()),
          folderText(destination.path()));
    QCOMPARE(m_errors, QStringList());
    QCOMPARE(window.lbFile->text(), QString("Done"));
    QVERIFY(!window.ProgressBar1->isVisible());
    QVERIFY(namesIn(destination.path()).empty());
    window.close();
}

void tst_Form1::missingDestinationKeepsTheFileNameAndTheBar()
{
    TempFolder source;
    TempFolder destination;
    writeSamplePhoto(source.file("a.jpg"));
    writeSamplePhoto(source.file("b.jpg"));
    TForm1 window;
    window.show();
    const QString missing = folderText(destination.file("missing"));
    runIn(window, folderText(source.path()), missing);

    QCOMPARE(m_errors, QStringList{"Cannot create file " + missing + "/a.jpg."});
    QCOMPARE(window.lbFile->text(), QString("a.jpg"));
    QVERIFY(window.ProgressBar1->isVisible());
    QCOMPARE(window.ProgressBar1->value(), 0);
    QVERIFY(window.isVisible());
    window.close();
}

void tst_Form1::secondPressAfterAnErrorStartsAgain()
{
    TempFolder source;
    TempFolder destination;
    writeSamplePhoto(source.file("a.jpg"));
    testing_support::writeText(source.file("b.jpg"), "not yet a photo");
    TForm1 window;
    window.show();
    runIn(window, folderText(source.path()), folderText(destination.path()));
    QCOMPARE(m_errors, QStringList{"JPEG error #52."});
    QCOMPARE(window.lbFile->text(), QString("b.jpg"));
    QCOMPARE(window.ProgressBar1->value(), 1);

    writeSamplePhoto(source.file("b.jpg"));
    QList<int> positions;
    connect(window.ProgressBar1, &QProgressBar::valueChanged, this,
            [&](int value) { positions << value; });
    QTest::mouseClick(window.btnOK, Qt::LeftButton);

    QCOMPARE(m_errors.size(), 1);
    QCOMPARE(positions, (QList<int>{0, 1, 2}));    // from the beginning again
    QCOMPARE(window.lbFile->text(), QString("Done"));
    QCOMPARE(namesIn(destination.path()).size(), 2u);
    window.close();
}

void tst_Form1::closeDuringARunWaitsForItsEnd()
{
    TempFolder source;
    TempFolder destination;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
        writeSamplePhoto(source.file(name));
    TForm1 window;
    window.show();
    bool closedDuringRun = false;
    connect(window.ProgressBar1, &QProgressBar::valueChanged, this, [&](int value) {
        if (value == 1) {
            window.close();
            closedDuringRun = !window.isVisible();
        }
    });
    runIn(window, folderText(source.path()), folderText(destination.path()));
    QVERIFY(!closedDuringRun);
    QCOMPARE(namesIn(destination.path()).size(), 3u);
    QVERIFY(!window.isVisible());
}

// Enhancing a folder into itself with a damaged photo in the middle: the photos before it are
// enhanced, it and every photo after it stay exactly as they were, even those the workers had
// enhanced ahead, and no pending file is left.
void tst_Form1::damagedPhotoInPlaceLeavesItAndTheRestUntouched()
{
    TempFolder folder;
    const std::vector<std::string> names{"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"};
    std::vector<Bytes> originals = writePhotos(folder, names);
    const std::vector<Bytes> enhanced = enhancedOnce(folder, names);
    testing_support::writeText(folder.file("c.jpg"), "not a photo");
    originals[2] = readBytes(folder.file("c.jpg"));
    TForm1 window;
    window.show();

    runIn(window, folderText(folder.path()), folderText(folder.path()));

    QCOMPARE(m_errors, QStringList{"JPEG error #52."});
    QCOMPARE(window.lbFile->text(), QString("c.jpg"));
    QVERIFY(window.ProgressBar1->isVisible());
    QCOMPARE(window.ProgressBar1->value(), 2);
    QCOMPARE(namesIn(folder.path()), names);
    for (std::size_t i = 0; i < names.size(); ++i)
        QVERIFY2(readBytes(folder.file(names[i])) == (i < 2 ? enhanced[i] : originals[i]),
                 names[i].c_str());
    window.close();
}

void tst_Form1::inputDuringARunIsDropped_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("closes");
    QTest::newRow("double-click on Do It! from the window system") << "double-click" << false;
    QTest::newRow("clicks on Do It! posted") << "posted clicks" << false;
    QTest::newRow("Space on Do It!") << "space" << false;
    QTest::newRow("typing in a field") << "typing" << false;
    QTest::newRow("click on ...") << "folder button" << false;
    QTest::newRow("Esc closes when the run ends") << "escape" << true;
    QTest::newRow("Quit closes when the run ends") << "quit" << true;
}

// Input given while a run is under way is dropped, not replayed once it ends: with the
// destination equal to the source, a second run would enhance every photo twice. A request to
// close waits for the run's end.
void tst_Form1::inputDuringARunIsDropped()
{
    QFETCH(QString, input);
    QFETCH(bool, closes);
    TempFolder folder;
    const std::vector<std::string> names{"a.jpg", "b.jpg", "c.jpg"};
    writePhotos(folder, names);
    const std::vector<Bytes> enhanced = enhancedOnce(folder, names);
    TForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.Edit1->setText(folderText(folder.path()));
    window.Edit2->setText(folderText(folder.path()));
    ModalWatcher<chooser::TSelectDirDlg> chooser(
        [](chooser::TSelectDirDlg *dialog) { dialog->CancelButton->click(); });

    bool given = false;
    bool givenDuringRun = false;
    connect(window.ProgressBar1, &QProgressBar::valueChanged, this, [&](int value) {
        if (value != 1 || given)
            return;
        given = true;
        givenDuringRun = window.running();
        const QPoint onOK = window.btnOK->geometry().center();
        if (input == "double-click") {
            QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, onOK);
        } else if (input == "posted clicks") {
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                            QEvent::MouseButtonDblClick,
                                            QEvent::MouseButtonRelease}) {
                const QPointF inside(window.btnOK->rect().center());
                QCoreApplication::postEvent(
                    window.btnOK, new QMouseEvent(type, inside, window.btnOK->mapToGlobal(inside),
                                                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            }
            QCoreApplication::sendPostedEvents();
        } else if (input == "space") {
            window.btnOK->setFocus();
            QTest::keyClick(window.btnOK, Qt::Key_Space);
        } else if (input == "typing") {
            QTest::keyClicks(window.Edit2, "/elsewhere");
        } else if (input == "folder button") {
            QTest::mouseClick(window.btnSrc, Qt::LeftButton);
        } else if (input == "escape") {
            QTest::keyClick(window.Edit1, Qt::Key_Escape);
        } else if (input == "quit") {
            QTest::mouseClick(window.btnQuit, Qt::LeftButton);
        }
        QVERIFY(window.isVisible());
    });
    QTest::mouseClick(window.btnOK, Qt::LeftButton);
    QCoreApplication::processEvents();

    QVERIFY(givenDuringRun);
    QCOMPARE(m_errors, QStringList());
    QVERIFY(!chooser.seen());
    QCOMPARE(window.Edit2->text(), folderText(folder.path()));
    for (std::size_t i = 0; i < names.size(); ++i)
        QVERIFY2(readBytes(folder.file(names[i])) == enhanced[i], names[i].c_str());
    QCOMPARE(window.isVisible(), !closes);
    window.close();
}

void tst_Form1::errorsReachARealErrorBox()
{
    app::currentErrorDisplay() = app::showErrorBox;
    TempFolder source;
    testing_support::writeText(source.file("broken.jpg"), "not a photo");
    TForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ModalWatcher<QMessageBox> watcher([&](QMessageBox *box) {
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    runIn(window, folderText(source.path()), folderText(source.path()));

    QVERIFY(watcher.seen());
    QCOMPARE(text, QString("JPEG error #52."));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(title, app::applicationTitle(QCoreApplication::applicationFilePath()));
    QVERIFY(window.isVisible());
    window.close();
}

void tst_Form1::folderButtonsFillTheirFieldOnlyOnOK_data()
{
    QTest::addColumn<bool>("destination");
    QTest::addColumn<bool>("accept");
    QTest::newRow("source, OK") << false << true;
    QTest::newRow("source, Cancel") << false << false;
    QTest::newRow("destination, OK") << true << true;
    QTest::newRow("destination, Cancel") << true << false;
}

void tst_Form1::folderButtonsFillTheirFieldOnlyOnOK()
{
    QFETCH(bool, destination);
    QFETCH(bool, accept);
    TempFolder folder;
    TForm1 window;
    window.show();
    window.Edit1->setText("before");
    window.Edit2->setText("before");
    const QString chosen = folderText(folder.path());
    ModalWatcher<chooser::TSelectDirDlg> watcher([&](chooser::TSelectDirDlg *dialog) {
        dialog->DirEdit->setText(chosen);
        (accept ? dialog->OKButton : dialog->CancelButton)->click();
    });
    QTest::mouseClick(destination ? window.btnDest : window.btnSrc, Qt::LeftButton);

    QVERIFY(watcher.seen());
    QLineEdit *filled = destination ? window.Edit2 : window.Edit1;
    QLineEdit *other = destination ? window.Edit1 : window.Edit2;
    QCOMPARE(filled->text(), accept ? chosen : QString("before"));
    QCOMPARE(other->text(), QString("before"));
    QCOMPARE(m_errors, QStringList());
    window.close();
}

// Both folders are picked as the user does: the chooser opens in their parent, a double-click
// enters the folder, OK returns it into the field; the run then finds the folders by the very
// same bytes.
void tst_Form1::folderNotNamedInUtf8GoesFromTheChooserToTheRun()
{
    TempFolder parent;
    const std::string source = parent.file("caf\xe9-photos");
    const std::string destination = parent.file("out-\xff");
    QVERIFY(platform::CreateDir(source) && platform::CreateDir(destination));
    writeSamplePhoto(source + "/a.jpg");
    writeSamplePhoto(source + "/b.jpg", 40, 24, 1);
    TForm1 window;
    window.show();

    for (const std::string *folder : {&source, &destination}) {
        platform::SetCurrentDir(parent.path());
        ModalWatcher<QMessageBox> createIt([](QMessageBox *box) { box->defaultButton()->click(); });
        ModalWatcher<chooser::TSelectDirDlg> pick([&](chooser::TSelectDirDlg *dialog) {
            testing_support::openRow(dialog->DirList,
                                     chooser::pathText(folder->substr(parent.path().size() + 1)));
            dialog->OKButton->click();
        });
        QTest::mouseClick(folder == &source ? window.btnSrc : window.btnDest, Qt::LeftButton);
        QVERIFY(pick.seen());
        QVERIFY2(!createIt.seen(), "the folder picked was not found again");
    }
    QCOMPARE(chooser::pathBytes(window.Edit1->text()), source);
    QCOMPARE(chooser::pathBytes(window.Edit2->text()), destination);

    QTest::mouseClick(window.btnOK, Qt::LeftButton);
    QCOMPARE(m_errors, QStringList());
    QCOMPARE(window.lbFile->text(), QString("Done"));
    QCOMPARE(namesIn(destination), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    window.close();
}

void tst_Form1::onlyOurErrorsShowTheirText()
{
    app::reportErrors(nullptr, [] { throw core::Error("Cannot open file x"); });
    app::reportErrors(nullptr, [] { throw std::bad_alloc(); });
    app::reportErrors(nullptr, [] { throw std::logic_error("vector::_M_range_check"); });
    app::reportErrors(nullptr, [] { throw 42; });
    QCOMPARE(m_errors, (QStringList{"Cannot open file x.",
                                    "Out of memory while expanding memory stream.", "", ""}));
}

void tst_Form1::errorTextAppendsAFullStop_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("letter") << QByteArray("Cannot open file /a/b")
                            << QByteArray("Cannot open file /a/b.");
    QTest::newRow("digit") << QByteArray("JPEG error #52") << QByteArray("JPEG error #52.");
    QTest::newRow("slash") << QByteArray("in /") << QByteArray("in /.");
    QTest::newRow("full stop") << QByteArray("Stopped.") << QByteArray("Stopped.");
    QTest::newRow("exclamation") << QByteArray("Stop!") << QByteArray("Stop!");
    QTest::newRow("parenthesis") << QByteArray("(x)") << QByteArray("(x)");
    QTest::newRow("space") << QByteArray("x ") << QByteArray("x ");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
    QTest::newRow("non-ASCII last byte") << QByteArray("caf\xc3\xa9") << QByteArray("caf\xc3\xa9.");
}

void tst_Form1::errorTextAppendsAFullStop()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, shown);
    QCOMPARE(QByteArray::fromStdString(app::errorText(message.toStdString())), shown);
}

void tst_Form1::applicationTitleComesFromTheExecutable_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain") << "/usr/bin/lumivor" << "lumivor";
    QTest::newRow("capitals") << "/opt/LUMIVOR.EXE" << "Lumivor";
    QTest::newRow("first dot cuts") << "/x/my.app.bin" << "my";
}

void tst_Form1::applicationTitleComesFromTheExecutable()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(app::applicationTitle(path), title);
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
