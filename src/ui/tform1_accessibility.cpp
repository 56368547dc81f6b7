// Keyboard paths and the names assistive technology reads, in the window's own language.
// Texts that come from the database keep being read as they are shown: the descriptions
// below say what they are.
#include "ui/browser/edgebrowser.h"
#include "ui/flatbutton.h"
#include "ui/tform1.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"
#include "ui/widgets/sidepanel.h"

#include <QAccessibleWidget>
#include <QFrame>
#include <QLabel>

namespace orvy::ui {

namespace {

// Qt presents a QFrame as a decorative border; the content area's framed panels are
// regions a screen reader names ("Welcome"), as any other container.
QAccessibleInterface *panelFactory(const QString &className, QObject *object)
{
    auto *frame = qobject_cast<QFrame *>(object);
    if (className == QLatin1String("QFrame") && frame && frame->frameShape() == QFrame::Panel)
        return new QAccessibleWidget(frame, QAccessible::Client);
    return nullptr;
}

} // namespace

void TForm1::setUpKeyboardAndNames()
{
    static const bool panelsInstalled = [] {
        QAccessible::installFactory(panelFactory);
        return true;
    }();
    Q_UNUSED(panelsInstalled);
    // The captions name their lists (and keep naming them if their text changes).
    AdvComboBox1Caption->setBuddy(AdvComboBox1);
    AdvComboBox2Caption->setBuddy(AdvComboBox2);
    AdvComboBox3Caption->setBuddy(AdvComboBox3);
    // "Choose a course to see its lessons", "choose a type to see its courses".
    const QString chooseCourse = QStringLiteral("کورسەکێ هەلبژێرە دا وانێن وی ببینی");
    AdvComboBox1->setAccessibleDescription(chooseCourse);
    AdvComboBox2->setAccessibleDescription(chooseCourse);
    AdvComboBox3->setAccessibleDescription(QStringLiteral("جورەکێ هەلبژێرە دا کورسێن وی جوری ببینی"));

    // "Menu": "opens and closes the course and lessons side"; it tells whether that is open.
    imgMenu->setAccessibleName(QStringLiteral("مێنیو"));
    imgMenu->setAccessibleDescription(QStringLiteral("لایێ کورس و وانان ڤەدکەت و دگریت"));
    imgMenu->setExpanded(SV->isOpened());
    connect(SV, &SidePanel::widthStepped, imgMenu, [this] { imgMenu->setExpanded(SV->isOpened()); });

    // "Course and lessons"; the course caption reads the course, described as "the chosen
    // course's name"; the lesson list is named as its caption reads, without the colon:
    // "select a lesson and press Enter to watch its video", the key's name in the window's
    // own script, so a screen reader keeps one voice.
    SV->setAccessibleName(QStringLiteral("کورس و وانە"));
    Label3->setAccessibleDescription(QStringLiteral("ناڤێ کورسێ هەلبژارتی"));
    ListBox1->setAccessibleName(QStringLiteral("وانە"));
    ListBox1->setAccessibleDescription(QStringLiteral("وانەکێ هەلبژێرە و ئینتەرێ لێبدە دا ڤیدیۆیا وێ ببینی"));

    // "Welcome"; "welcome text", "phone number".
    Panel2->setAccessibleName(QStringLiteral("بخێرهاتن"));
    for (QLabel *welcome : { Label5, Label4, Label8 })
        welcome->setAccessibleDescription(QStringLiteral("نڤیسینا بخێرهاتنێ"));
    Label7->setAccessibleDescription(QStringLiteral("ژمارا تەلەفۆنێ"));

    // Links: "Orvy Class web site", "Instagram", "Facebook"; each "opens" its page. The
    // web-site caption is named by the address it shows, so what is seen is what is heard.
    const QString webSite = QStringLiteral("مالپەرێ ئۆرڤی کلاس");
    const QString opensWebSite = QStringLiteral("مالپەرێ ئۆرڤی کلاس ڤەدکەت");
    for (FlatButton *link : { Label9, Image4, Image3, Image6 })
        link->setAccessibleRole(QAccessible::Link);
    Label9->setAccessibleDescription(opensWebSite);
    Image4->setAccessibleName(webSite);
    Image4->setAccessibleDescription(opensWebSite);
    Image3->setAccessibleName(QStringLiteral("ئینستاگرام"));
    Image3->setAccessibleDescription(QStringLiteral("پەرا ئۆرڤی کلاس ل ئینستاگرامێ ڤەدکەت"));
    Image6->setAccessibleName(QStringLiteral("فەیسبووک"));
    Image6->setAccessibleDescription(QStringLiteral("پەرا ئۆرڤی کلاس ل فەیسبووکێ ڤەدکەت"));

    // "The lesson's video": "the chosen lesson's video is shown here".
    EdgeBrowser1->setAccessibleName(QStringLiteral("ڤیدیۆیا وانێ"));
    EdgeBrowser1->setAccessibleDescription(QStringLiteral("ڤیدیۆیا وانا هەلبژارتی ل ڤێرێ دهێتە نیشاندان"));

    // After the three lists: the menu button, the lessons it shows, then the welcome
    // panel from top to bottom and, like the lists, from right to left. The player's
    // view, made at the first play, comes last.
    QWidget *const order[]
        = { AdvComboBox1, AdvComboBox2, AdvComboBox3, imgMenu, ListBox1, Label9, Image6, Image3, Image4 };
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

} // namespace orvy::ui
