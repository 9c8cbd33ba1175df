#include "app/unit1.h"

#include "app/error_display.h"
#include "app/folder_field.h"
#include "app/form_progress.h"
#include "chooser/path_text.h"
#include "chooser/select_dir_dlg.h"
#include "core/error.h"
#include "platform/folders.h"
#include "run/enhance_photo.h"
#include "tests/chooser/test_support.h"
#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <cerrno>
#include <csignal>
#include <cstring>
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
    run::TWorkingImages images;
    std::vector<Bytes> result;
    for (const std::string &name : names) {
        run::EnhancePhoto(images, folder.file(name), enhanced.file(name));
        result.push_back(readBytes(enhanced.file(name)));
    }
    return result;
}

// A folder of large photos to be enhanced into itself (each some 100 ms), with what each is
// before and after a clean run.
struct PhotosInPlace {
    explicit PhotosInPlace(int count)
    {
        for (int i = 0; i < count; ++i) {
            names.push_back("photo" + std::to_string(100 + i) + ".jpg");
            writeSamplePhoto(folder.file(names.back()), 1600, 1200, i);
            originals.push_back(readBytes(folder.file(names.back())));
        }
        enhanced = enhancedOnce(folder, names);
    }

    // What is wrong with the folder after a run stopped early: a file added or lost, a photo
    // neither its original nor its whole enhanced version, or none left untouched. Empty when
    // nothing is.
    QString stoppedBadly() const
    {
        if (namesIn(folder.path()) != names)
            return "other files than the photos";
        int left = 0;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const Bytes now = readBytes(folder.file(names[i]));
            if (now != enhanced[i] && now != originals[i])
                return QString::fromStdString(names[i]) + " is neither whole version";
            left += now == originals[i];
        }
        return left > 0 ? QString() : QString("the run did not stop");
    }

    TempFolder folder;
    std::vector<std::string> names;
    std::vector<Bytes> originals;
    std::vector<Bytes> enhanced;
};

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
    void folderWithoutPhotosShowsDoneAtOnce();
    void missingFoldersAreErrorsNamingThem_data();
    void missingFoldersAreErrorsNamingThem();
    void missingDestinationKeepsTheFileNameAndTheBar();
    void secondPressAfterAnErrorStartsAgain();
    void damagedPhotoInPlaceLeavesItAndTheRestUntouched();
    void photoCutShortFailsInPlaceAndIsAWarningElsewhere();
    void inputDuringARunStartsNothing_data();
    void inputDuringARunStartsNothing();
    void closeRequestStopsTheRun_data();
    void closeRequestStopsTheRun();
    void terminationSignalStopsTheRun();
    void errorsReachARealErrorBox();
    void folderButtonsFillTheirFieldOnlyOnOK_data();
    void folderButtonsFillTheirFieldOnlyOnOK();
    void folderNotNamedInUtf8GoesFromTheChooserToTheRun();
    void droppedFolderOrPhotoFillsTheField();
    void tooltipTellsTheTimeLeft();
    void onlyOurErrorsShowTheirText();
    void errorTextAppendsAFullStop_data();
    void errorTextAppendsAFullStop();
    void applicationTitleComesFromTheExecutable_data();
    void applicationTitleComesFromTheExecutable();

private:
    // Fills the fields, presses "Do It!" and waits until the run's end has been shown.
    void runIn(TForm1 &window, const QString &source, const QString &destination)
    {
        window.Edit1->setText(source);
        window.Edit2->setText(destination);
        QSignalSpy finished(&window, &TForm1::runFinished);
        QTest::mouseClick(window.btnOK, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 60000);
    }

    QStringList m_errors;
    QStringList m_details;
    QStringList m_warnings;    // each box's message, then its details
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
    m_details.clear();
    m_warnings.clear();
    app::currentErrorDisplay() = [this](QWidget *, const QString &message,
                                        const QString &details) {
        m_errors << message;
        m_details << details;
    };
    app::currentWarningDisplay() = [this](QWidget *, const QString &message,
                                          const QString &details) {
        m_warnings << message << details;
    };
}

void tst_Form1::cleanup()
{
    QDir::setCurrent(m_startFolder);
    app::currentErrorDisplay() = app::showErrorBox;
    app::currentWarningDisplay() = app::showWarningBox;
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
        QVERIFY(!window.btnOK->isEnabled() && !window.Edit1->isEnabled());
        QVERIFY(window.btnQuit->isEnabled());
    });
    runIn(window, folderText(source.path()), folderText(destination.path()));

    QCOMPARE(m_errors, QStringList());
    QCOMPARE(maximumDuringRun, 3);
    positions.removeAll(0);
    QCOMPARE(positions, (QList<int>{1, 2, 3}));
    QCOMPARE(labels.mid(labels.size() - 3), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
    QCOMPARE(window.lbFile->text(), QString("Done"));
    QVERIFY(!window.ProgressBar1->isVisible());
    QCOMPARE(window.ProgressBar1->toolTip(), QString("3 of 3"));
    QVERIFY(window.btnOK->isEnabled() && window.Edit1->isEnabled());
    QCOMPARE(namesIn(destination.path()).size(), 3u);
    window.close();
}

void tst_Form1::folderWithoutPhotosShowsDoneAtOnce()
{
    TempFolder source;
    TempFolder destination;
    TForm1 window;
    window.show();
    runIn(window, folderText(source.path()), folderText(destination.path()));
    QCOMPARE(m_errors, QStringList());
    QCOMPARE(window.lbFile->text(), QString("Done"));
    QVERIFY(!window.ProgressBar1->isVisible());
    QVERIFY(window.btnOK->isEnabled());
    window.close();
}

void tst_Form1::missingFoldersAreErrorsNamingThem_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("details");
    const QString missing = QDir::tempPath() + "/lumivor-no-such-folder";
    QTest::newRow("missing source") << missing << QDir::tempPath()
                                    << "Cannot open file " + missing + "."
                                    << QString(std::strerror(ENOENT)) + ".";
    QTest::newRow("empty source") << QString() << QDir::tempPath() << "No source folder given."
                                  << QString();
    QTest::newRow("empty destination") << QDir::tempPath() << QString()
                                       << "No destination folder given." << QString();
}

// Nothing is shown as done that was not: the box names the folder or the field, and the window
// stays usable.
void tst_Form1::missingFoldersAreErrorsNamingThem()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, message);
    QFETCH(QString, details);
    TForm1 window;
    window.show();
    runIn(window, source, destination);
    QCOMPARE(m_errors, QStringList{message});
    QCOMPARE(m_details, QStringList{details});
    QVERIFY(window.lbFile->text() != QString("Done"));
    QVERIFY(window.btnOK->isEnabled() && window.Edit1->isEnabled());
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
    QCOMPARE(m_details, QStringList{folderText(source.file("a.jpg")) + "\n"
                                    + std::strerror(ENOENT) + "."});
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
    runIn(window, folderText(source.path()), folderText(destination.path()));

    QCOMPARE(m_errors.size(), 1);
    QCOMPARE(positions, (QList<int>{0, 1, 2}));    // from the beginning again
    // a.jpg, enhanced by the first run, is kept as it is.
    QCOMPARE(window.lbFile->text(), QString("Done: 1 enhanced, 1 already enhanced"));
    QCOMPARE(namesIn(destination.path()).size(), 2u);
    window.close();
}

// Enhancing a folder into itself with a damaged photo in the middle: the photos before it are
// enhanced, it and every photo after it stay exactly as they were, even those the workers had
// enhanced ahead, and no pending file is left. The box says which photo and why.
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
    QCOMPARE(m_details, QStringList{folderText(folder.file("c.jpg")) + "\nNot a JPEG file."});
    QCOMPARE(window.lbFile->text(), QString("c.jpg"));
    QVERIFY(window.ProgressBar1->isVisible());
    QCOMPARE(window.ProgressBar1->value(), 2);
    QCOMPARE(namesIn(folder.path()), names);
    for (std::size_t i = 0; i < names.size(); ++i)
        QVERIFY2(readBytes(folder.file(names[i])) == (i < 2 ? enhanced[i] : originals[i]),
                 names[i].c_str());
    window.close();
}

// Over itself a photo cut short is an error and stays as it is; into another folder it is
// written, and the warnings come in one box after the run, naming the photo.
void tst_Form1::photoCutShortFailsInPlaceAndIsAWarningElsewhere()
{
    TempFolder source;
    TempFolder destination;
    writeSamplePhoto(source.file("a.jpg"), 200, 150, 1);
    Bytes cut = readBytes(source.file("a.jpg"));
    cut.resize(cut.size() / 2);
    testing_support::writeBytes(source.file("a.jpg"), cut);
    const QString path = folderText(source.file("a.jpg"));
    TForm1 window;
    window.show();

    runIn(window, folderText(source.path()), folderText(source.path()));
    QCOMPARE(m_errors, QStringList{"JPEG error #116."});
    QCOMPARE(m_details, QStringList{path + "\nPremature end of JPEG file."});
    QVERIFY(readBytes(source.file("a.jpg")) == cut);
    QCOMPARE(m_warnings, QStringList());

    runIn(window, folderText(source.path()), folderText(destination.path()));
    QCOMPARE(m_errors.size(), 1);
    QCOMPARE(window.lbFile->text(), QString("Done"));
    QCOMPARE(m_warnings,
             (QStringList{"1 photo was written with warnings.",
                          path + ": Premature end of JPEG file\n" + path
                              + ": Corrupt JPEG data: premature end of data segment"}));
    QCOMPARE(namesIn(destination.path()).size(), 1u);
    window.close();
}

void tst_Form1::inputDuringARunStartsNothing_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("double-click on Do It! from the window system") << "double-click";
    QTest::newRow("clicks sent to Do It!") << "sent clicks";
    QTest::newRow("Space on Do It!") << "space";
    QTest::newRow("typing in a field") << "typing";
    QTest::newRow("click on ...") << "folder button";
}

// With the destination equal to the source, a second run would enhance every photo twice: while
// a run lasts, nothing but a close request is taken, and nothing is kept for later either.
void tst_Form1::inputDuringARunStartsNothing()
{
    QFETCH(QString, input);
    TempFolder folder;
    const std::vector<std::string> names{"a.jpg", "b.jpg", "c.jpg"};
    writePhotos(folder, names);
    const std::vector<Bytes> enhanced = enhancedOnce(folder, names);
    TForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    ModalWatcher<chooser::TSelectDirDlg> chooser(
        [](chooser::TSelectDirDlg *dialog) { dialog->CancelButton->click(); });

    bool givenDuringRun = false;
    connect(window.ProgressBar1, &QProgressBar::valueChanged, this, [&](int value) {
        if (value != 1 || givenDuringRun)
            return;
        givenDuringRun = window.running();
        const QPoint onOK = window.btnOK->geometry().center();
        if (input == "double-click") {
            QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, onOK);
        } else if (input == "sent clicks") {
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                            QEvent::MouseButtonDblClick,
                                            QEvent::MouseButtonRelease}) {
                const QPointF inside(window.btnOK->rect().center());
                QMouseEvent click(type, inside, window.btnOK->mapToGlobal(inside), Qt::LeftButton,
                                  Qt::LeftButton, Qt::NoModifier);
                QCoreApplication::sendEvent(window.btnOK, &click);
            }
        } else if (input == "space") {
            window.btnOK->setFocus();
            QTest::keyClick(window.btnOK, Qt::Key_Space);
        } else if (input == "typing") {
            QTest::keyClicks(window.Edit2, "/elsewhere");
        } else if (input == "folder button") {
            QTest::mouseClick(window.btnSrc, Qt::LeftButton);
        }
    });
    QSignalSpy finished(&window, &TForm1::runFinished);
    runIn(window, folderText(folder.path()), folderText(folder.path()));
    QTest::qWait(200);    // time for a second run to show itself

    QVERIFY(givenDuringRun);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(m_errors, QStringList());
    QVERIFY(!chooser.seen());
    QCOMPARE(window.Edit2->text(), folderText(folder.path()));
    for (std::size_t i = 0; i < names.size(); ++i)
        QVERIFY2(readBytes(folder.file(names[i])) == enhanced[i], names[i].c_str());
    QVERIFY(window.btnOK->isEnabled() && window.Edit2->isEnabled() && window.btnSrc->isEnabled());
    window.close();
}

void tst_Form1::closeRequestStopsTheRun_data()
{
    QTest::addColumn<QString>("request");
    QTest::newRow("close box") << "close box";
    QTest::newRow("window manager") << "window manager";
    QTest::newRow("Esc") << "escape";
    QTest::newRow("Quit") << "quit";
}

// A folder enhanced into itself, closed as the first photo is put in place: the run ends within
// the time of the photos in flight, leaves every photo its original or its whole enhanced
// version and nothing temporary, and the window closes; meanwhile the label says so.
void tst_Form1::closeRequestStopsTheRun()
{
    QFETCH(QString, request);
    const PhotosInPlace photos(24);
    const QString folder = folderText(photos.folder.path());
    TForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QElapsedTimer sinceRequest;
    QString label;
    connect(window.ProgressBar1, &QProgressBar::valueChanged, this, [&](int value) {
        if (value != 1 || sinceRequest.isValid())
            return;
        sinceRequest.start();
        if (request == "close box")
            window.close();
        else if (request == "window manager")
            window.windowHandle()->close();
        else if (request == "escape")
            QTest::keyClick(&window, Qt::Key_Escape);
        else
            QTest::mouseClick(window.btnQuit, Qt::LeftButton);
        label = window.lbFile->text();
    });
    runIn(window, folder, folder);
    const qint64 took = sinceRequest.elapsed();

    QVERIFY(!window.isVisible());
    QCOMPARE(label, QString("Stopping\u2026"));
    QVERIFY2(took < 2000, qPrintable(QString("%1 ms").arg(took)));
    QCOMPARE(m_errors, QStringList());
    QCOMPARE(photos.stoppedBadly(), QString());
}

// The window program's own handling of SIGTERM, in a child: it stops the run as a close request
// does and then ends as killed by the signal. Run again, the window enhances each photo once.
void tst_Form1::terminationSignalStopsTheRun()
{
    const PhotosInPlace photos(20);
    const QString folder = folderText(photos.folder.path());
    QProcess child;
    child.start(QStringLiteral(LUMIVOR_STOPPED_WINDOW), {folder, folder});
    QVERIFY(child.waitForStarted());
    QVERIFY(child.waitForReadyRead(60000));    // the first photo is in place
    QElapsedTimer sinceSignal;
    sinceSignal.start();
    ::kill(pid_t(child.processId()), SIGTERM);
    QVERIFY(child.waitForFinished(10000));
    const qint64 took = sinceSignal.elapsed();

    QCOMPARE(child.exitStatus(), QProcess::CrashExit);    // ended as killed by SIGTERM
    QVERIFY2(took < 2000, qPrintable(QString("%1 ms").arg(took)));
    QCOMPARE(photos.stoppedBadly(), QString());

    TForm1 window;
    window.show();
    runIn(window, folder, folder);
    QVERIFY(window.lbFile->text().startsWith("Done: "));
    for (std::size_t i = 0; i < photos.names.size(); ++i)
        QVERIFY2(readBytes(photos.folder.file(photos.names[i])) == photos.enhanced[i],
                 photos.names[i].c_str());
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
    QString details;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ModalWatcher<QMessageBox> watcher([&](QMessageBox *box) {
        text = box->text();
        details = box->informativeText();
        title = box->windowTitle();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    runIn(window, folderText(source.path()), folderText(source.path()));

    QVERIFY(watcher.seen());
    QCOMPARE(text, QString("JPEG error #52."));
    QCOMPARE(details, folderText(source.file("broken.jpg")) + "\nNot a JPEG file.");
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

    QSignalSpy finished(&window, &TForm1::runFinished);
    QTest::mouseClick(window.btnOK, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 60000);
    QCOMPARE(m_errors, QStringList());
    QCOMPARE(window.lbFile->text(), QString("Done"));
    QCOMPARE(namesIn(destination), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    window.close();
}

// A drop names a folder by a file manager's URL, in bytes that need not be UTF-8.
void tst_Form1::droppedFolderOrPhotoFillsTheField()
{
    TempFolder parent;
    const std::string folder = parent.file("caf\xe9 photos");
    QVERIFY(platform::CreateDir(folder));
    writeSamplePhoto(folder + "/a.JPEG");
    testing_support::writeText(folder + "/notes.txt", "not a photo");
    const auto urlOf = [](const std::string &path) {
        return QUrl(QStringLiteral("file://")
                    + QString::fromLatin1(QByteArray::fromStdString(path).toPercentEncoding("/")));
    };
    const struct {
        std::string dropped;
        std::string filled;    // "" : the drop is not taken
    } cases[] = {{folder, folder}, {folder + "/a.JPEG", folder}, {folder + "/notes.txt", ""},
                 {folder + "/gone.jpg", ""}};
    for (const auto &c : cases) {
        app::FolderField field;
        field.setText("before");
        QMimeData data;
        data.setUrls({urlOf(c.dropped)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&field, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&field, &drop);
        QCOMPARE(chooser::pathBytes(field.text()), c.filled.empty() ? "before" : c.filled);
        QCOMPARE(enter.isAccepted(), !c.filled.empty());
    }
}

void tst_Form1::tooltipTellsTheTimeLeft()
{
    QCOMPARE(app::progressTip(0, 340, 2.0), QString("0 of 340"));
    QCOMPARE(app::progressTip(12, 340, 96.0 * 12 / 328), QString("12 of 340, about 1:36 left"));
    QCOMPARE(app::progressTip(3, 4, 3.0), QString("3 of 4, about 1.0 s left"));
}

void tst_Form1::onlyOurErrorsShowTheirText()
{
    app::reportErrors(nullptr, [] { throw core::Error("Cannot open file x", ENOENT); });
    app::reportErrors(nullptr, [] { throw std::bad_alloc(); });
    app::reportErrors(nullptr, [] { throw std::logic_error("vector::_M_range_check"); });
    app::reportErrors(nullptr, [] { throw 42; });
    QCOMPARE(m_errors, (QStringList{"Cannot open file x.",
                                    "Out of memory while expanding memory stream.", "", ""}));
    QCOMPARE(m_details, (QStringList{QString(std::strerror(ENOENT)) + ".", "",
                                     "vector::_M_range_check.", "Unknown error."}));
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
