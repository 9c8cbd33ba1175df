#include "app/unit1.h"

#include "app/desktop_bus.h"
#include "app/error_display.h"
#include "app/folder_field.h"
#include "app/form_progress.h"
#include "chooser/error_hook.h"
#include "chooser/path_text.h"
#include "chooser/pick_folder.h"
#include "core/error.h"
#include "run/folder_run.h"
#include "run/pace.h"
#include "run/run_words.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cstdio>
#include <utility>

TForm1 *Form1 = nullptr;

// The icon is compiled in, so that the window shows it wherever the program is run from.
static QIcon applicationIcon()
{
    Q_INIT_RESOURCE(lumivor);
    return QIcon(QStringLiteral(":/lumivor.svg"));
}

namespace {

constexpr int clientWidth = 580;
constexpr int clientHeight = 218;
constexpr int fontPixelHeight = 11;
constexpr int pickFolderOptions = 7;
constexpr int pickFolderHelp = 1000;

template <typename Control>
Control *place(Control *control, int left, int top, int width, int height)
{
    control->setGeometry(left, top, width, height);
    return control;
}

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The two captions size themselves to their text, so that a desktop font wider than the one
// the window was designed with never cuts them; where even that would run into the fields, the
// letters of both get smaller together, so that the two captions always match.
void fitCaptions(QLabel *first, QLabel *second)
{
    constexpr int fieldsLeft = 104;
    constexpr int gap = 4;
    constexpr int smallestPixelSize = 8;
    const auto fits = [](const QLabel *label) {
        return label->x() + label->sizeHint().width() <= fieldsLeft - gap;
    };
    QFont captionFont = first->font();
    while (!(fits(first) && fits(second)) && captionFont.pixelSize() > smallestPixelSize) {
        captionFont.setPixelSize(captionFont.pixelSize() - 1);
        first->setFont(captionFont);
        second->setFont(captionFont);
    }
    for (QLabel *label : {first, second})
        label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
}

// The designed position when the window, with a frame as the style draws one, fits the free
// area of the screen there at the current scale; otherwise the nearest position just inside
// it (its top left corner when the window is larger than the area).
QPoint placeOnScreen(const QWidget &window, QPoint designed)
{
    const QScreen *screen = QGuiApplication::screenAt(designed);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return designed;
    const QRect area = screen->availableGeometry();
    const int titleBar = window.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const int border = window.style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    const QSize outer = window.size() + QSize(2 * border, titleBar + 2 * border);
    const int x = std::max(area.left(), std::min(designed.x(), area.right() + 1 - outer.width()));
    const int y = std::max(area.top(), std::min(designed.y(), area.bottom() + 1 - outer.height()));
    return QPoint(x, y);
}

// The fields hold what the folder chooser returns or the user types; both map back to the
// folder's exact bytes, also for a name that is not valid UTF-8.
std::string fileNameBytes(const QString &text)
{
    return chooser::pathBytes(text);
}

} // namespace

TForm1::TForm1(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Lumivor"));
    QFont designFont = font();
    designFont.setFamily(QStringLiteral("Sans Serif"));
    designFont.setStyleHint(QFont::SansSerif);
    designFont.setPixelSize(fontPixelHeight);
    setFont(designFont);
    QPalette buttonFace = palette();
    buttonFace.setColor(QPalette::Window, buttonFace.color(QPalette::Button));
    setPalette(buttonFace);
    setAutoFillBackground(true);
    setFixedSize(clientWidth, clientHeight);
    move(placeOnScreen(*this, QPoint(202, 287)));
    setWindowIcon(applicationIcon());

    // Errors in the folder chooser reach the same display as the window's own.
    chooser::setErrorHandler(app::showCurrentException);
    createControls();
    m_progress = std::make_unique<app::FormProgress>(*lbFile, *ProgressBar1);
    connectHandlers();
    FormCreate(this);
}

TForm1::~TForm1()
{
    // The run's threads report to this window's progress, which must outlive them.
    if (m_stop)
        m_stop->request();
    m_run.waitForFinished();
}

void TForm1::createControls()
{
    Label1 = place(plainLabel(QStringLiteral("Source folder"), this), 8, 16, 63, 13);
    Label2 = place(plainLabel(QStringLiteral("Destination folder"), this), 8, 56, 82, 13);
    fitCaptions(Label1, Label2);
    lbFile = place(plainLabel(QString(), this), 104, 96, 401, 17);
    Edit1 = place(new app::FolderField(this), 104, 8, 401, 25);
    Edit2 = place(new app::FolderField(this), 104, 48, 401, 25);
    btnSrc = place(new QPushButton(QStringLiteral("..."), this), 512, 8, 33, 25);
    btnDest = place(new QPushButton(QStringLiteral("..."), this), 512, 48, 33, 25);
    ProgressBar1 = place(new QProgressBar(this), 104, 128, 401, 25);
    btnOK = place(new QPushButton(QStringLiteral("Do It!"), this), 200, 184, 89, 25);
    btnQuit = place(new QPushButton(QStringLiteral("Quit"), this), 312, 184, 81, 25);

    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();
    for (QPushButton *button : {btnSrc, btnDest, btnOK, btnQuit}) {
        button->setAutoDefault(false);    // Enter in a field presses nothing
        button->setDefault(false);
    }
    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, btnSrc);
    setTabOrder(btnSrc, btnDest);
    setTabOrder(btnDest, ProgressBar1);    // takes no focus, but keeps its designed place
    setTabOrder(ProgressBar1, btnOK);
    setTabOrder(btnOK, btnQuit);
    Edit1->setFocus();
}

void TForm1::connectHandlers()
{
    connect(btnQuit, &QPushButton::clicked, this,
            [this] { runGuarded(&TForm1::btnQuitClick, btnQuit); });
    connect(btnSrc, &QPushButton::clicked, this,
            [this] { runGuarded(&TForm1::btnSrcClick, btnSrc); });
    connect(btnDest, &QPushButton::clicked, this,
            [this] { runGuarded(&TForm1::btnDestClick, btnDest); });
    connect(btnOK, &QPushButton::clicked, this,
            [this] { runGuarded(&TForm1::btnOKClick, btnOK); });
    // Esc anywhere in the window presses "Quit", as a dialog's cancel button would.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, btnQuit, &QPushButton::click);
}

void TForm1::runGuarded(void (TForm1::*handler)(QObject *), QObject *sender)
{
    app::reportErrors(this, [&] { (this->*handler)(sender); });
}

void TForm1::FormCreate(QObject *)
{
    SecondImage() = image::TBitmap();
    FirstImage() = image::TBitmap();
}

void TForm1::btnQuitClick(QObject *)
{
    close();
}

void TForm1::btnSrcClick(QObject *)
{
    QString folder;
    if (chooser::PickFolder(folder, pickFolderOptions, pickFolderHelp))
        Edit1->setText(folder);
}

void TForm1::btnDestClick(QObject *)
{
    QString folder;
    if (chooser::PickFolder(folder, pickFolderOptions, pickFolderHelp))
        Edit2->setText(folder);
}

// The run goes on a thread of its own (which puts the photos in place; the engine's workers
// enhance them) while this one shows what the run reports. Meanwhile the fields and every button
// but "Quit" are disabled: a second press of "Do It!" must not start a second run, which with
// the destination folder equal to the source would enhance every photo twice.
void TForm1::btnOKClick(QObject *)
{
    if (m_running)
        return;
    const std::string source = fileNameBytes(Edit1->text());
    const std::string destination = fileNameBytes(Edit2->text());
    m_stop = std::make_unique<run::StopRequest>();
    m_progress->starting();
    setRunning(true);
    run::RunOptions options;
    options.stop = m_stop.get();
    app::FormProgress *progress = m_progress.get();
    m_run = QtConcurrent::run([this, source, destination, options, progress] {
        RunEnd end;
        try {
            end.summary = run::RunFolder(source, destination, options, *progress);
        } catch (...) {
            end.error = std::current_exception();
        }
        // Queued behind the progress the run has reported, so that the end is shown last.
        QMetaObject::invokeMethod(
            this, [this, end] { runEnded(end); }, Qt::QueuedConnection);
    });
}

void TForm1::setRunning(bool running)
{
    m_running = running;
    for (QWidget *control : {static_cast<QWidget *>(Edit1), static_cast<QWidget *>(Edit2),
                             static_cast<QWidget *>(btnSrc), static_cast<QWidget *>(btnDest),
                             static_cast<QWidget *>(btnOK)})
        control->setEnabled(!running);
}

void TForm1::runEnded(const RunEnd &end)
{
    const run::RunSummary &summary = end.summary;
    const bool done = !end.error && summary.failures.empty() && !summary.stopped;
    m_progress->ended(done, QString::fromStdString(run::doneWords(summary)));
    setRunning(false);
    if (std::exchange(m_closeWhenEnded, false)) {
        // The user asked to leave: a photo that failed or has warnings is told on standard error
        // rather than in a box that would hold the window open.
        for (const run::NotedPhoto &photo : summary.noted)
            for (const std::string &line : run::noteLines(photo.notes))
                std::fprintf(stderr, "lumivor: %s: warning: %s\n",
                             photo.photo.sourcePath.c_str(), line.c_str());
        if (!summary.failures.empty())
            std::fprintf(stderr, "lumivor: %s: %s\n",
                         summary.failures.front().photo.sourcePath.c_str(),
                         core::wordsFor(summary.failures.front().error).joined().c_str());
        close();
        emit runFinished();
        return;
    }
    announceEnd(end);
    if (end.error) {
        app::showError(this, end.error);
    } else if (!summary.failures.empty()) {
        app::showError(this, summary.failures.front().error,
                       summary.failures.front().photo.sourcePath);
    }
    // The photos written with warnings are told after the run's end, in one box.
    app::showPhotoNotes(this, summary.noted);
    emit runFinished();
}

// A long run that ends while the user looks elsewhere is told where the desktop shows news.
void TForm1::announceEnd(const RunEnd &end)
{
    if (m_progress->seconds() <= m_notifyAfter || isActiveWindow())
        return;
    const run::RunSummary &summary = end.summary;
    if (end.error) {
        app::notifyDesktop(QStringLiteral("Stopped"),
                           QString::fromStdString(core::wordsFor(end.error).joined()));
    } else if (!summary.failures.empty()) {
        const run::PhotoFailure &failure = summary.failures.front();
        app::notifyDesktop(QStringLiteral("Stopped at ") + chooser::pathText(failure.photo.name),
                           QString::fromStdString(core::wordsFor(failure.error).joined()));
    } else {
        app::notifyDesktop(
            QStringLiteral("Done"),
            QStringLiteral("%1 %2 enhanced in %3")
                .arg(summary.photosDone)
                .arg(summary.photosDone == 1 ? QStringLiteral("photo") : QStringLiteral("photos"))
                .arg(QString::fromStdString(run::formatDuration(m_progress->seconds()))));
    }
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        m_closeWhenEnded = true;
        m_stop->request();
        m_progress->stopping();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
