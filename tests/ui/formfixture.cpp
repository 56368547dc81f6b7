#include "formfixture.h"

#include "testclip.h"
#include "ui/theme.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QMessageBox>
#include <QPainter>
#include <QTest>

namespace orvy::test {

MessageBoxCatcher::MessageBoxCatcher()
{
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxCatcher::poll);
    m_timer.start(20);
}

QStringList MessageBoxCatcher::texts() const
{
    QStringList texts;
    for (const Seen &s : m_seen)
        texts.append(s.text);
    return texts;
}

void MessageBoxCatcher::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    Seen seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    seen.hadParent = box->parentWidget() != nullptr;
    for (QAbstractButton *button : box->buttons())
        seen.buttons.append(button->text().remove(u'&'));
    m_seen.append(seen);
    box->done(0);
}

FormFixture::FormFixture()
    : m_db(QStringLiteral("catalogue"))
{
    // The banner server is on loopback: no proxy of the environment may carry the fetch elsewhere.
    for (const char *name :
        { "http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY" })
        qunsetenv(name);
    // A banner with a transparent corner, an odd size and a clear centre mark.
    m_banner = QImage(301, 121, QImage::Format_ARGB32);
    m_banner.fill(QColor(0x16, 0xA0, 0x85));
    QPainter painter(&m_banner);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(0, 0, 10, 10, Qt::transparent);
    painter.fillRect(150, 60, 1, 1, Qt::red);
}

bool FormFixture::start(QString *error)
{
    // The window is tested in the look it ships with.
    if (!ui::applyThemeOrReport(*qApp, QString::fromLatin1(ui::Theme::defaultName))) {
        *error = QStringLiteral("theme missing");
        return false;
    }
    if (!m_db.start()
        || !m_db.createDatabase(
            QStringLiteral("orvy"), QStringLiteral("orvy"), QStringLiteral("Pa55word-12x"))
        || !m_db.createCourseTables(QStringLiteral("orvy"))) {
        *error = m_db.errorString();
        return false;
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    m_banner.save(&buffer, "PNG");
    m_http.setRoute("/banner.png", HttpServer::Response::ok(png, "image/png"));
    return true;
}

void FormFixture::sql(const QString &statements)
{
    QString output;
    if (!m_db.runSql(statements, QStringLiteral("orvy"), &output))
        QFAIL(qPrintable(QStringLiteral("SQL failed: %1\n%2").arg(m_db.errorString(), statements)));
}

void FormFixture::seedCatalogue()
{
    sql(QStringLiteral(
        "DELETE FROM interface; DELETE FROM courses; DELETE FROM classtype; DELETE FROM lessons;"));
    sql(QStringLiteral(
        "INSERT INTO interface (intPics, intLBL1, intLBL2, intLBL3, intLBLPhone, intLBLWhats, intLBLInsta, "
        "intLBLOrvy, fbLink, lblColor1, lblColor2, lblColor3) VALUES (%1, 'بەخێربێن', 'پەیوەندی', "
        "'فێربوون', '+964 750', 'whats', 'https://insta.example/orvy', 'https://orvy.example/', "
        "'https://fb.example/orvy', '16777215', '255', '$FF0000');")
            .arg(MariaDbServer::quoted(m_http.url(QStringLiteral("/banner.png")))));
    sql(QStringLiteral("INSERT INTO classtype (ctID, ctName) VALUES (1, 'بەرنامەسازی'), (2, 'زمان'), "
                       "(3, 'بەتاڵ');"));
    sql(QStringLiteral("INSERT INTO courses (cID, cName, ctID) VALUES (10, 'فێربوونی C++', 1), "
                       "(20, 'Python', 1), (30, 'العربية', 2), (40, NULL, 2);"));
    sql(QStringLiteral("INSERT INTO lessons (LName, LLink, cID, active, LSORT) VALUES "
                       "('وانەی سێیەم', 'http://v/3.mp4', 10, 1, 3), "
                       "('وانەی یەکەم | دەستپێک', 'http://v/1.mp4', 10, 1, 1), "
                       "('ناچالاک', 'http://v/x.mp4', 10, 0, 2), "
                       "('بێ بار', 'http://v/n.mp4', 10, NULL, 2), "
                       "('وانەی دووەم', 'http://v/2.mp4', 10, 1, 2), "
                       "('Py 1', 'http://v/p1.mp4', 20, 1, 1), "
                       "('Arabic only inactive', 'http://v/a.mp4', 30, 2, 1);"));
}

ui::FormSettings FormFixture::settingsFor(quint16 databasePort)
{
    ui::FormSettings s;
    s.db.host = QStringLiteral("127.0.0.1");
    s.db.port = databasePort;
    s.db.database = QStringLiteral("orvy");
    s.db.user = QStringLiteral("orvy");
    s.db.password = QStringLiteral("Pa55word-12x");
    s.db.retryPauseMs = 50;
    s.fetch.timeoutMs = 3000;
    return s;
}

ui::FormSettings FormFixture::settings()
{
    ui::FormSettings s = settingsFor(m_db.port());
    s.fatalExit = [this](int code) { fatalExits.append(code); };
    s.openLink = [this](const QString &link) { openedLinks.append(link); };
    return s;
}

} // namespace orvy::test

namespace orvy::test {

std::unique_ptr<ui::TForm1> FormFixture::showForm(QSize size)
{
    auto form = std::make_unique<ui::TForm1>(settings());
    form->resize(size);
    form->show();
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form.get()))
        return nullptr;
    return form;
}

QString FormFixture::serveLessonClip(QString *error, QSize size, bool withSound)
{
    const QString clip = makeLessonClip(error, size, withSound);
    if (clip.isEmpty())
        return {};
    m_http.setRoute("/lesson.mp4", HttpServer::Response::file(clip, "video/mp4"));
    return m_http.url(QStringLiteral("/lesson.mp4"));
}

void chooseFirstCourse(ui::TForm1 &form)
{
    form.AdvComboBox1->setFocus();
    QTest::sendKeyEvent(QTest::Press, form.AdvComboBox1, Qt::Key_unknown, QStringLiteral("ف"), {});
}

void doubleClickLesson(ui::TForm1 &form, int row)
{
    QListWidget *list = form.ListBox1;
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

} // namespace orvy::test
