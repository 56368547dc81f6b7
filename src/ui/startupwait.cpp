#include "ui/startupwait.h"

#include "ui/fonts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace orvy::ui {

namespace {

// "Connecting to the server..."
const char16_t connectingText[] = u"پەیوەندی بە ڕاژەکارەوە دەکرێت…";

// Closing it would end nothing (start-up goes on): the close button is not offered, and
// a close from the window manager is refused.
class WaitWindow : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void closeEvent(QCloseEvent *event) override { event->ignore(); }
};

} // namespace

StartupWait::StartupWait(const QString &title, QObject *parent)
    : QObject(parent)
    , m_title(title)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(showAfterMs);
    connect(&m_timer, &QTimer::timeout, this, &StartupWait::show);
    m_timer.start();
    qApp->installEventFilter(this);
}

StartupWait::~StartupWait()
{
    qApp->removeEventFilter(this);
}

void StartupWait::show()
{
    if (m_dismissed || m_window)
        return;
    auto window = std::make_unique<WaitWindow>(
        nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window->setObjectName(QStringLiteral("startupWait"));
    window->setWindowTitle(m_title);
    window->setAttribute(Qt::WA_QuitOnClose, false);
    window->setLayoutDirection(Qt::RightToLeft);
    window->setCursor(Qt::BusyCursor);

    auto *layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(32, 24, 32, 24);
    layout->setSpacing(12);
    auto *title = new QLabel(m_title, window.get());
    title->setObjectName(QStringLiteral("startupWaitTitle"));
    title->setFont(segoeUi(20, true));
    title->setAlignment(Qt::AlignCenter);
    auto *line = new QLabel(QString::fromUtf16(connectingText), window.get());
    line->setObjectName(QStringLiteral("startupWaitText"));
    line->setFont(segoeUi(14));
    line->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    layout->addWidget(line);

    window->adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    m_window = std::move(window);
    m_window->show();
}

void StartupWait::dismiss()
{
    // Its job is done: the rest of the session's events need not pass through it.
    qApp->removeEventFilter(this);
    m_dismissed = true;
    m_timer.stop();
    if (m_window) {
        m_window->hide();
        m_window.release()->deleteLater();
    }
}

bool StartupWait::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        if (widget->isWindow() && widget != m_window.get()
            && !(m_window && m_window->isAncestorOf(widget)))
            dismiss();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace orvy::ui
