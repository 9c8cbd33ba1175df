#include "app/unit1.h"

#include "run/engine.h"
#include "app/form_progress.h"
#include "app/error_display.h"
#include "chooser/error_hook.h"
#include "chooser/path_text.h"
#include "chooser/pick_folder.h"
#include "core/error.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>

#include <algorithm>
#include <exception>
#include <thread>

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

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
    case QEvent::NativeGesture:
    case QEvent::Gesture:
    case QEvent::GestureOverride:
        return true;
    default:
        return false;
    }
}

bool isEscape(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
        return static_cast<const QKeyEvent *>(event)->key() == Qt::Key_Escape;
    case QEvent::Shortcut:
        return static_cast<const QShortcutEvent *>(event)->key()
            == QKeySequence(Qt::Key_Escape);
    default:
        return false;
    }
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
    connectHandlers();
    FormCreate(this);
}

void TForm1::createControls()
{
    Label1 = place(plainLabel(QStringLiteral("Source folder"), this), 8, 16, 63, 13);
    Label2 = place(plainLabel(QStringLiteral("Destination folder"), this), 8, 56, 82, 13);
    fitCaptions(Label1, Label2);
    lbFile = place(plainLabel(QString(), this), 104, 96, 401, 17);
    Edit1 = place(new QLineEdit(this), 104, 8, 401, 25);
    Edit2 = place(new QLineEdit(this), 104, 48, 401, 25);
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

// The run goes on its own thread (which puts the photos in place; the engine's workers enhance
// them), while this one goes on answering paint and system events and shows the progress the
// run sends it. Input to the application is dropped until the run ends, not kept for later: a
// double-click on "Do It!" must not run the batch a second time, which with the destination
// folder equal to the source would enhance every photo twice. A request to close the window
// (the close box, Alt+F4, Esc, "Quit") is held back and carried out when the run ends.
void TForm1::btnOKClick(QObject *)
{
    // The fields cannot change while the run lasts (typing is dropped), so the texts as they
    // stand now are those of every photo's turn; widgets are read on this thread only.
    const std::string source = fileNameBytes(Edit1->text());
    const std::string destination = fileNameBytes(Edit2->text());
    const app::BatchFolders folders{[source] { return source; },
                                    [destination] { return destination; }};
    app::FormProgress progress(*lbFile, *ProgressBar1);

    std::exception_ptr failure;
    bool ended = false;    // set on this thread, after every progress call the run made
    m_running = true;
    QCoreApplication::instance()->installEventFilter(this);
    std::thread run;
    try {
        run = std::thread([&] {
            try {
                app::RunBatch(folders, progress);
            } catch (...) {
                failure = std::current_exception();
            }
            QMetaObject::invokeMethod(this, [&ended] { ended = true; }, Qt::QueuedConnection);
        });
    } catch (...) {
        // No thread for the run (its stack could not be had): nothing has been done.
        failure = std::make_exception_ptr(core::EStreamError());
        ended = true;
    }
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (run.joinable())
        run.join();
    QCoreApplication::instance()->removeEventFilter(this);
    m_running = false;
    if (m_closeHeldBack) {
        m_closeHeldBack = false;
        close();
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // A close request during a run waits for the run's end; the run then closes the window.
    if (m_running) {
        m_closeHeldBack = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_running || !isUserInput(event->type()))
        return QWidget::eventFilter(watched, event);
    // Esc and a click on "Quit" ask to close the window, as the close box does.
    if (isEscape(event))
        m_closeHeldBack = true;
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<const QMouseEvent *>(event);
        const QPoint onQuit = btnQuit->mapFromGlobal(mouse->globalPosition().toPoint());
        if (mouse->button() == Qt::LeftButton && btnQuit->isVisible()
            && btnQuit->rect().contains(onQuit))
            m_closeHeldBack = true;
    }
    return true;
}
