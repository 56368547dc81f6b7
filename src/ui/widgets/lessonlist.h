#pragma once

#include <QColor>
#include <QListWidget>
#include <QPoint>
#include <QTimer>

namespace orvy::ui {

// The lesson list of the side panel, with its own hint tooltip: the full
// lesson name, since the narrow list cuts long names.
//
// The tooltip (Qt's own) shows just below the pointer once it has rested over
// the list for TipDelayMs (each movement restarts the wait), shows the hint up
// to its first '|', and hides after TipDurationMs, when the pointer leaves the
// list, or on any click or key press. Once shown it does not come back until
// the hint is set again.
class LessonList : public QListWidget {
    Q_OBJECT

public:
    static constexpr int ItemHeight = 15;
    // The frame around the keyboard's current row.
    static constexpr QColor CurrentRowMark { 0xFF, 0xFF, 0xFF };
    static constexpr int TipDelayMs = 500;
    static constexpr int TipDurationMs = 2500;

    explicit LessonList(QWidget *parent = nullptr);
    ~LessonList() override;

    void setHint(const QString &hint);
    QString hint() const { return m_hint; }

    bool isTipVisible() const;
    QString tipText() const;

Q_SIGNALS:
    // The user changed the selection: by a click, a drag or the keyboard.
    // Selections made from code (setCurrentRow, clear) do not raise it.
    void clickedByUser();
    // A left double click anywhere in the list area, on an item or below them.
    void doubleClickedByUser();
    // Enter or Return pressed while the list has the focus (a held key counts once); a
    // lesson current but not selected is selected first (clickedByUser).
    void returnPressed();
    // The pointer left the list.
    void mouseLeft();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onCurrentRowChanged();
    bool selectCurrentByUser();
    void restartWait();
    void showTip();
    void cancelTip();

    QString m_hint;
    // A hint set and not shown yet: the tooltip may still show for it.
    bool m_armed = false;
    bool m_pointerInside = false;
    QPoint m_lastPointer;
    QTimer m_waitTimer;
    // The hint as handed to the tooltip (which takes rich text); empty when none is shown.
    QString m_shownTip;
    // Key presses of the whole program are watched from a tooltip's showing to the next one.
    bool m_watchingKeys = false;
    // Depth of user input being handled, so selection changes can be told apart.
    int m_userInput = 0;
};

} // namespace orvy::ui
