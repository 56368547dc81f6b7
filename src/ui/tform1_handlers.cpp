// The main window's event handlers: each one thin, calling the data, network and
// player layers, and ending through the default error report when they fail.
// Database text goes to the widgets through displayText(): a name of millions of
// characters would freeze the window while it is laid out. Links are kept as stored.
#include "core/displaytext.h"
#include "data/connection.h"
#include "data/dberror.h"
#include "data/interfacequery.h"
#include "data/query.h"
#include "data/querytexts.h"
#include "image/pngdecoder.h"
#include "net/bannerfetch.h"
#include "ui/bannerimage.h"
#include "ui/colors.h"
#include "ui/errorreport.h"
#include "ui/flatbutton.h"
#include "ui/tform1.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"
#include "ui/widgets/sidepanel.h"

#include <QMessageBox>
#include <QScopeGuard>

namespace orvy::ui {

namespace {

// A server still busy when the start-up's waits are spent: said so, with the server's own
// words on the next line.
QString busyServerMessage(const data::DbError &error)
{
    return QStringLiteral("السيرفر مشغول الآن، يرجى المحاولة مرة أخرى لاحقاً") + u'\n' + error.message();
}

} // namespace

void TForm1::FormCreate()
{
    // The fatal start-up message; when the user dismisses it, the program ends.
    const auto endStartup = [this](const QString &text) {
        m_startupFailed = true;
        QMessageBox box(QMessageBox::Critical, QStringLiteral("خطأ"), text, QMessageBox::Ok);
        box.setObjectName(QStringLiteral("fatalStartupMessage"));
        box.setTextFormat(Qt::PlainText); // it may quote the server
        box.exec();
        if (m_settings.fatalExit)
            m_settings.fatalExit(1);
    };
    // A busy server is waited for while the program starts, and if it stays busy the start
    // ends as a failure, never in a window without content; later refusals go to the error
    // report at once.
    AdoCon().setWaitWhileBusy(true);
    const auto busyWaitEnds = qScopeGuard([this] { AdoCon().setWaitWhileBusy(false); });

    // Steps before the guarded section: a failure is reported and the window opens
    // with whatever was loaded up to then. Only a database failure stops there; a banner
    // or colour that cannot be used is cosmetic, and the lists still load below.
    QString busyRefusal;
    const bool goOnToLists = [this, &busyRefusal] {
        try {
            interfaceQ().close();
            interfaceQ().open();

            Image1->setPicture(image::decodePng(
                net::fetchBanner(interfaceQ().asString(QStringLiteral("intPics")), m_settings.fetch),
                BannerImage::largestStrip()));

            Label5->setText(displayText(interfaceQ().asString(QStringLiteral("intLBL1"))));
            Label4->setText(displayText(interfaceQ().asString(QStringLiteral("intLBL2"))));
            Label8->setText(displayText(interfaceQ().asString(QStringLiteral("intLBL3"))));
            Label7->setText(displayText(interfaceQ().asString(QStringLiteral("intLBLPhone"))));
            Label9->setPlainText(displayText(interfaceQ().asString(QStringLiteral("intLBLOrvy"))));

            setTextColour(Label5, colorFromBgr(interfaceQ().asInteger(QStringLiteral("lblColor1"))));
            setTextColour(Label4, colorFromBgr(interfaceQ().asInteger(QStringLiteral("lblColor1"))));
            setTextColour(Label8, colorFromBgr(interfaceQ().asInteger(QStringLiteral("lblColor1"))));
            setTextColour(Label7, colorFromBgr(interfaceQ().asInteger(QStringLiteral("lblColor2"))));
            setTextColour(Label9, colorFromBgr(interfaceQ().asInteger(QStringLiteral("lblColor3"))));

            orvyInstagram = interfaceQ().asString(QStringLiteral("intLBLInsta"));
            orvyWeb = interfaceQ().asString(QStringLiteral("intLBLOrvy"));
            fbLink = interfaceQ().asString(QStringLiteral("fbLink"));
            return true;
        } catch (const data::DbError &error) {
            if (error.isBusy())
                busyRefusal = busyServerMessage(error);
            else
                reportCurrentException(this);
            return false;
        } catch (...) {
            reportCurrentException(this);
            return true;
        }
    }();
    if (!busyRefusal.isEmpty())
        endStartup(busyRefusal);
    if (!goOnToLists)
        return;

    const QString serverNotFound = QStringLiteral("لم يتم العثور على السيرفر");
    try {
        loadStartupLists();
    } catch (const data::DbError &error) {
        endStartup(error.isBusy() ? busyServerMessage(error) : serverNotFound);
    } catch (...) {
        endStartup(serverNotFound);
    }
}

void TForm1::loadStartupLists()
{
    AdoCon().open();
    tmpLinks = std::make_unique<QStringList>();

    Temp().close();
    Temp().open(data::sql::q2Courses());
    fillCourses(AdvComboBox1);
    Temp().close();

    Temp().open(data::sql::q2Courses());
    fillCourses(AdvComboBox2);
    Temp().close();

    Temp().open(data::sql::q4ClassTypes());
    AdvComboBox3->clear();
    QList<std::pair<QString, qint32>> types { { QStringLiteral("گشتی"), 0 } };
    for (; !Temp().eof(); Temp().next())
        types.append({ displayText(Temp().asString(QStringLiteral("ctName"))),
            Temp().asInteger(QStringLiteral("ctID")) });
    AdvComboBox3->addItemsWithIds(types);
    AdvComboBox3->setCurrentIndex(0);
}

void TForm1::fillCourses(RtlComboBox *list)
{
    list->clear();
    // Read whole, then handed over in one step (a catalogue may hold thousands).
    QList<std::pair<QString, qint32>> courses;
    for (; !Temp().eof(); Temp().next())
        courses.append({ displayText(Temp().asString(QStringLiteral("cName"))),
            Temp().asInteger(QStringLiteral("cID")) });
    list->addItemsWithIds(courses);
}

void TForm1::loadLessons(RtlComboBox *list)
{
    if (list->currentIndex() < 0)
        return;
    Temp().close();
    const qint32 courseId = list->attachedInteger(list->currentIndex());
    // The two lists stay parallel: item i plays link i.
    ListBox1->clear();
    if (tmpLinks)
        tmpLinks->clear();
    Temp().close();
    Temp().open(data::sql::q5Lessons(courseId));
    // Read whole, then handed to both lists in one step each, still item for link.
    QStringList names;
    QStringList links;
    for (; !Temp().eof(); Temp().next()) {
        names.append(displayText(Temp().asString(QStringLiteral("LName"))));
        links.append(Temp().asString(QStringLiteral("LLink")));
    }
    ListBox1->addItems(names);
    if (tmpLinks)
        tmpLinks->append(links);
    Label3->setText(list->currentText()); // cut when the list was filled
}

void TForm1::AdvComboBox1Change()
{
    guarded(this, [this] { loadLessons(AdvComboBox1); });
}

void TForm1::AdvComboBox2Change()
{
    guarded(this, [this] { loadLessons(AdvComboBox2); });
}

void TForm1::AdvComboBox3Change()
{
    guarded(this, [this] {
        if (AdvComboBox3->currentIndex() < 0)
            return;
        Temp().close();
        const qint32 typeId = AdvComboBox3->attachedInteger(AdvComboBox3->currentIndex());
        Temp().close();
        Temp().open(data::sql::q3CoursesWhere(typeId));
        fillCourses(AdvComboBox2);
    });
}

void TForm1::imgMenuClick()
{
    SV->setOpened(!SV->isOpened());
}

void TForm1::ListBox1Click()
{
    const auto *item = ListBox1->currentItem();
    ListBox1->setHint(item ? item->text() : QString());
}

void TForm1::ListBox1MouseLeave()
{
    ListBox1->setHint(QString());
}

void TForm1::Image3Click()
{
    if (m_settings.openLink)
        m_settings.openLink(orvyInstagram);
}

void TForm1::Image4Click()
{
    if (m_settings.openLink)
        m_settings.openLink(orvyWeb);
}

void TForm1::Image6Click()
{
    if (m_settings.openLink)
        m_settings.openLink(fbLink);
}

} // namespace orvy::ui
