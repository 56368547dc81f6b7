#pragma once

#include <QCursor>
#include <QObject>
#include <QTimer>

namespace orvy::ui {

// The database busy cursor: an hourglass with the letters "SQL". It shows at
// once when an operation starts and goes RestoreDelayMs after the last one
// ended, so back-to-back queries do not make the pointer flicker.
class BusyCursor : public QObject {
    Q_OBJECT

public:
    static constexpr int RestoreDelayMs = 50;

    explicit BusyCursor(QObject *parent = nullptr);
    ~BusyCursor() override;

    bool isShowing() const { return m_showing; }
    int runningOperations() const { return m_running; }

    // The 32 by 32 cursor, hot spot in its middle.
    static QCursor sqlCursor();

public Q_SLOTS:
    void operationStarted();
    // An end without a start is ignored.
    void operationFinished();

private:
    void restore();

    QTimer m_restoreTimer;
    int m_running = 0;
    bool m_showing = false;
};

} // namespace orvy::ui
