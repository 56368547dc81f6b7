#pragma once

#include <QObject>
#include <QTimer>
#include <QWidget>
#include <memory>

namespace orvy::ui {

// A small window of the program's own for while it starts: shown once start-up has
// waited showAfterMs (a busy server, a slow or silent one, a slow banner) with the product
// title, a short line saying it is connecting and the busy cursor, so that nobody stands
// before an empty desktop and starts the program again. It needs the waits to keep events
// going (core::EventsKeepFlowing). It goes as soon as another top-level window shows (the
// main window, the fatal message) and when this object ends.
class StartupWait : public QObject {
    Q_OBJECT

public:
    static constexpr int showAfterMs = 1000;

    explicit StartupWait(const QString &title, QObject *parent = nullptr);
    ~StartupWait() override;

    // Start-up waits no more: the window is not shown after this (one on the screen stays
    // until the main window shows).
    void stopWaiting() { m_timer.stop(); }

    // The window when it is on the screen, else nullptr.
    QWidget *window() const { return m_window.get(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void show();
    void dismiss();

    QString m_title;
    QTimer m_timer;
    std::unique_ptr<QWidget> m_window;
    bool m_dismissed = false;
};

} // namespace orvy::ui
