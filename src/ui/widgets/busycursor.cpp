#include "ui/widgets/busycursor.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace orvy::ui {

namespace {

constexpr int CursorSize = 32;

QPixmap drawCursor()
{
    QPixmap pixmap(CursorSize, CursorSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    // The glass: two funnels meeting at the neck, white with a black outline.
    const QPolygonF glass({ { 9, 4 }, { 23, 4 }, { 17.5, 10.5 }, { 17.5, 11.5 }, { 23, 18 }, { 9, 18 },
        { 14.5, 11.5 }, { 14.5, 10.5 } });
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::white);
    p.drawPolygon(glass);

    // The sand: what is left on top and the pile below.
    const QColor sand(0xC8, 0x8A, 0x12);
    p.setPen(Qt::NoPen);
    p.setBrush(sand);
    p.drawPolygon(QPolygonF({ { 12, 7 }, { 20, 7 }, { 16, 10.5 } }));
    p.drawPolygon(QPolygonF({ { 11.5, 17 }, { 20.5, 17 }, { 16, 13.5 } }));

    // The frame's top and bottom bars.
    p.setBrush(Qt::black);
    p.drawRect(QRectF(7, 1, 18, 3));
    p.drawRect(QRectF(7, 18, 18, 3));

    // "SQL" below, black with a white halo so it reads on any background.
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(10);
    font.setBold(true);
    QPainterPath letters;
    letters.addText(0, 0, font, QStringLiteral("SQL"));
    const QRectF box = letters.boundingRect();
    letters.translate((CursorSize - box.width()) / 2 - box.left(), 30.5 - box.bottom());
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(letters);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPath(letters);
    p.end();
    return pixmap;
}

} // namespace

BusyCursor::BusyCursor(QObject *parent)
    : QObject(parent)
{
    m_restoreTimer.setSingleShot(true);
    m_restoreTimer.setInterval(RestoreDelayMs);
    m_restoreTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_restoreTimer, &QTimer::timeout, this, &BusyCursor::restore);
}

BusyCursor::~BusyCursor()
{
    if (m_showing)
        QGuiApplication::restoreOverrideCursor();
}

QCursor BusyCursor::sqlCursor()
{
    static const QPixmap pixmap = drawCursor();
    return QCursor(pixmap, CursorSize / 2, CursorSize / 2);
}

void BusyCursor::operationStarted()
{
    ++m_running;
    m_restoreTimer.stop();
    if (!m_showing) {
        // Queries block the event loop, so the cursor has to be set right now.
        QGuiApplication::setOverrideCursor(sqlCursor());
        m_showing = true;
    }
}

void BusyCursor::operationFinished()
{
    if (m_running == 0)
        return;
    if (--m_running == 0)
        m_restoreTimer.start();
}

void BusyCursor::restore()
{
    if (m_running > 0 || !m_showing)
        return;
    QGuiApplication::restoreOverrideCursor();
    m_showing = false;
}

} // namespace orvy::ui
