// The floors of start-up, course choice and drop-down: the least a program of the
// program's kind needs for the same step, doing the same work.
//
//   bench_floor [gl]       the caption window: a bare maximized black window that shows
//                          the program's seven Arabic-script captions in the same fonts
//                          and sizes; no database, network or engine. With "gl" its
//                          native window is an OpenGL surface from the first show.
//   bench_floor_list list <host> <port> <database> <user> <password>
//                          the caption window with a plain list; "lessons <course>" runs
//                          the program's lesson query on a connection like the program's
//                          (compression, utf8mb4), turns both columns into text, fills
//                          the list with the names in one step and waits for one paint.
//   bench_floor combo <n>  the caption window with a drop-down list of n items whose
//                          drop-down part is the program's kind: a plain list below the
//                          field (not the style's menu-like popup), uniform item sizes.
//
// bench_floor_list is linked with the database client library, which the program loads
// at its first connection; bench_floor_fetch is the caption window linked with the
// program's banner fetch (never called): what its libraries cost at exec.
#include "../probe/probe.h"
#include "data/querytexts.h"
#include "ui/fonts.h"
#include "ui/widgets/rtlcombobox.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QWindow>

#ifdef FLOOR_LIST
#include <mysql.h>
#endif
#ifdef FLOOR_FETCH
#include "net/bannerfetch.h"
#endif

namespace {

class CaptionWindow : public QWidget {
public:
    explicit CaptionWindow(bool openGlSurface)
    {
        setObjectName(QStringLiteral("floorWindow"));
        setWindowTitle(QStringLiteral("floor"));
        QPalette dark = palette();
        dark.setColor(QPalette::Window, Qt::black);
        dark.setColor(QPalette::WindowText, Qt::white);
        setPalette(dark);
        setAutoFillBackground(true);

        using orvy::ui::kufiTitle;
        using orvy::ui::segoeUi;
        // The captions the program shows before its database answers, where it shows them
        // on a 1152-wide window.
        const struct {
            QString text;
            QFont font;
            QRect at;
        } captions[] = {
            { QStringLiteral("ئۆرڤی کلاس"), kufiTitle(16), { 990, 10, 103, 31 } },
            { QStringLiteral("کورسێن من"), segoeUi(16, true), { 899, 11, 90, 28 } },
            { QStringLiteral("کورسێن ئۆرڤی کلاس"), segoeUi(15, true), { 471, 11, 140, 28 } },
            { QStringLiteral("جورێ کورسی"), segoeUi(15, true), { 61, 11, 90, 28 } },
            { QStringLiteral("گشتی"), segoeUi(15, true), { 16, 11, 41, 28 } },
            { QStringLiteral("کورس :"), segoeUi(13, true), { 990, 53, 159, 22 } },
            { QStringLiteral("وانە :"), segoeUi(13, true), { 990, 110, 159, 22 } },
        };
        for (const auto &c : captions) {
            auto *label = new QLabel(c.text, this);
            label->setTextFormat(Qt::PlainText);
            label->setFont(c.font);
            label->setLayoutDirection(Qt::RightToLeft);
            label->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
            label->setGeometry(c.at);
        }

        if (openGlSurface) {
            // The native window made anew as an OpenGL surface before its first show.
            create();
            windowHandle()->destroy();
            windowHandle()->setSurfaceType(QSurface::OpenGLSurface);
        }
    }
};

#ifdef FLOOR_LIST
// The program's lesson query on a connection of the same kind, answered into a plain list.
class LessonFloor {
public:
    LessonFloor(const QStringList &db, QListWidget *list)
        : m_list(list)
        , m_mysql(mysql_init(nullptr))
    {
        mysql_options(m_mysql, MYSQL_OPT_COMPRESS, nullptr);
        mysql_options(m_mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
        if (!mysql_real_connect(m_mysql, db[0].toUtf8().constData(), db[3].toUtf8().constData(),
                db[4].toUtf8().constData(), db[2].toUtf8().constData(), db[1].toUInt(), nullptr, 0))
            orvy::bench::report(QByteArray("fail connect ") + mysql_error(m_mysql));
        // The program's connection has answered the start-up queries before the first choice.
        const QByteArray courses = orvy::data::sql::q2Courses().toUtf8();
        if (mysql_real_query(m_mysql, courses.constData(), courses.size()) == 0)
            mysql_free_result(mysql_store_result(m_mysql));
    }
    ~LessonFloor() { mysql_close(m_mysql); }

    bool run(const QStringList &command)
    {
        if (command.size() != 2 || command[0] != u"lessons")
            return false;
        const qint64 t0 = orvy::bench::monotonicNs();
        const QByteArray sql = orvy::data::sql::q5Lessons(command[1].toInt()).toUtf8();
        if (mysql_real_query(m_mysql, sql.constData(), sql.size()) != 0) {
            orvy::bench::report(QByteArray("fail lessons ") + mysql_error(m_mysql));
            return true;
        }
        MYSQL_RES *result = mysql_store_result(m_mysql);
        QStringList names;
        m_links.clear();
        while (MYSQL_ROW row = mysql_fetch_row(result)) {
            const unsigned long *lengths = mysql_fetch_lengths(result);
            names.append(QString::fromUtf8(row[0], qsizetype(lengths[0])));
            m_links.append(QString::fromUtf8(row[1], qsizetype(lengths[1])));
        }
        mysql_free_result(result);
        orvy::bench::reportAfterPaint("lessons", t0, m_list->viewport());
        m_list->clear();
        m_list->addItems(names);
        return true;
    }

private:
    QListWidget *m_list;
    MYSQL *m_mysql;
    QStringList m_links;
};
#endif

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
#ifdef FLOOR_FETCH
    // Keeps the fetch and its libraries linked in, as in the program.
    static QByteArray (*volatile keep)(const QString &, const orvy::net::FetchLimits &)
        = &orvy::net::fetchBanner;
    Q_UNUSED(keep);
#endif
    const QStringList args = app.arguments().mid(1);
    CaptionWindow window(args.value(0) == u"gl");

#ifdef FLOOR_LIST
    std::unique_ptr<LessonFloor> lessons;
    if (args.size() == 6 && args[0] == u"list") {
        auto *list = new QListWidget(&window);
        list->setObjectName(QStringLiteral("floorList"));
        list->setLayoutDirection(Qt::RightToLeft);
        list->setUniformItemSizes(true);
        list->setFont(orvy::ui::segoeUi(12));
        list->setGeometry(990, 140, 159, 560);
        lessons = std::make_unique<LessonFloor>(args.mid(1), list);
        orvy::bench::setCommandHandler(
            [&lessons](const QStringList &command) { return lessons->run(command); });
    }
#endif
    if (args.size() == 2 && args[0] == u"combo") {
        auto *combo = new QComboBox(&window);
        combo->setObjectName(QStringLiteral("floorCombo"));
        combo->setStyle(new orvy::ui::ListBelowFieldStyle(combo));
        combo->setLayoutDirection(Qt::RightToLeft);
        combo->setGeometry(616, 11, 279, 28);
        combo->setFont(orvy::ui::segoeUi(15, true));
        qobject_cast<QListView *>(combo->view())->setUniformItemSizes(true);
        const int n = args[1].toInt();
        QStringList items;
        items.reserve(n);
        for (int i = 0; i < n; ++i)
            items.append(QStringLiteral("کورسی ژمارە %1").arg(i + 1));
        combo->addItems(items);
    }

    window.showMaximized();
    return QApplication::exec();
}
