#pragma once

#include <QColor>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QProxyStyle>
#include <utility>

namespace orvy::ui {

// The application's style, except that the drop-down part is a plain list below
// the field rather than a menu-like popup: a popup measures the text of every
// item to grow wider than the field, which showPopup() undoes anyway, and that
// costs a long list (10,000 courses) far more than its drawing. Owned by owner.
class ListBelowFieldStyle : public QProxyStyle {
public:
    explicit ListBelowFieldStyle(QObject *owner);
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
        QStyleHintReturn *returnData) const override;
};

// A pick-only, right-to-left drop-down list of the toolbar. Each item carries
// an integer id. changedByUser() is the list's change event: it fires for the
// user's choices only, never for changes made from code.
class RtlComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit RtlComboBox(QWidget *parent = nullptr);
    ~RtlComboBox() override;

    void addItemWithId(const QString &text, qint32 id);
    // The same for many items at once: the list takes them in one step, which for
    // thousands of items is far quicker than one by one.
    void addItemsWithIds(const QList<std::pair<QString, qint32>> &items);
    // 0 for an index out of range or an item added without an id.
    qint32 attachedInteger(int index) const;

    void setTextColor(const QColor &color);
    QColor textColor() const { return m_textColor; }

    // The caption label sits 4 pixels right of the field, centred vertically on
    // it, and follows the field's position, visibility and enabled state. It
    // should be a sibling of the list; nullptr detaches the current one.
    void setCaptionLabel(QLabel *label);
    QLabel *captionLabel() const { return m_caption; }

    // Characters typed less than this many milliseconds apart form one prefix.
    static constexpr int TypeAheadIntervalMs = 500;

    // Every row of the drop-down part, at any length of the list.
    int popupRowHeight() const;

    void showPopup() override;
    void setVisible(bool visible) override;

Q_SIGNALS:
    void changedByUser();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onActivated(int index);
    void selectByUser(int index);
    void typeAhead(const QString &text);
    void applyColors();
    void placeCaption();
    void syncCaptionState();

    QColor m_textColor { Qt::white };
    QPointer<QLabel> m_caption;
    QString m_prefix;
    QElapsedTimer m_sinceLastChar;
    // The item selected when the popup opened or a key was pressed: choosing it again
    // is no change.
    QPersistentModelIndex m_itemAtPopup;
};

} // namespace orvy::ui
