// The banner strip with what the decoder keeps of a picture: in a strip of any size up
// to what is kept, the same pixels as the whole picture.
#include "image/pngdecoder.h"
#include "ui/bannerimage.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

using orvy::image::decodePng;
using orvy::ui::BannerImage;

namespace {

// A picture whose every pixel differs from its neighbours, with a see-through band.
QByteArray patternPng(const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgba(x * 7 % 256, y * 11 % 256, (x * y) % 256, x % 5 == 0 ? 0 : 255));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QImage shown(BannerImage &strip, const QSize &size)
{
    strip.resize(size);
    return strip.grab().toImage();
}

} // namespace

class TestBannerImage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sameAsTheWholeInEveryStrip_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("limit");
        QTest::newRow("odd picture, even limit") << QSize(37, 23) << QSize(12, 8);
        QTest::newRow("odd picture, odd limit") << QSize(37, 23) << QSize(11, 9);
        QTest::newRow("even picture, odd limit") << QSize(36, 24) << QSize(11, 9);
        QTest::newRow("even picture, even limit") << QSize(36, 24) << QSize(12, 8);
        QTest::newRow("cut across only") << QSize(37, 6) << QSize(12, 8);
    }
    void sameAsTheWholeInEveryStrip()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, limit);
        const QByteArray png = patternPng(picture);
        BannerImage whole;
        whole.setPicture(decodePng(png));
        BannerImage part;
        part.setPicture(decodePng(png, limit));
        const QSize kept = part.picture().size();
        QVERIFY(kept.width() <= limit.width() + 1 && kept.height() <= limit.height() + 1);

        for (int height = 1; height <= kept.height(); ++height) {
            for (int width = 1; width <= kept.width(); ++width) {
                const QSize strip(width, height);
                if (shown(part, strip) != shown(whole, strip))
                    QFAIL(qPrintable(QStringLiteral("differs in a %1 x %2 strip").arg(width).arg(height)));
            }
        }
    }

    // The limit holds for a strip as large as any screen, where the picture is cut.
    void aScreenWideStripShowsTheWholePicturesCentre()
    {
        const QSize limit = BannerImage::largestStrip();
        QVERIFY(!limit.isEmpty());
        for (const QScreen *screen : QGuiApplication::screens())
            QVERIFY(screen->size().boundedTo(limit) == screen->size());

        const QByteArray png = patternPng(limit + QSize(301, 200));
        BannerImage whole;
        whole.setPicture(decodePng(png));
        BannerImage strip;
        strip.setPicture(decodePng(png, limit));
        QVERIFY(strip.picture().width() < whole.picture().width());
        // A frameless window over the whole screen: no window manager runs here to make
        // one full screen.
        strip.setWindowFlag(Qt::FramelessWindowHint);
        strip.setGeometry(QGuiApplication::primaryScreen()->geometry());
        strip.show();
        QVERIFY(QTest::qWaitForWindowExposed(&strip));
        QCOMPARE(strip.size(), QGuiApplication::primaryScreen()->size());
        QCOMPARE(strip.grab().toImage(), shown(whole, strip.size()));
    }
};

QTEST_MAIN(TestBannerImage)
#include "tst_bannerimage.moc"
