#include "ui/tform1.h"

#include "core/eventwait.h"
#include "data/connection.h"
#include "data/interfacequery.h"
#include "data/query.h"
#include "ui/bannerimage.h"
#include "ui/browser/edgebrowser.h"
#include "ui/colors.h"
#include "ui/flatbutton.h"
#include "ui/fonts.h"
#include "ui/startupwait.h"
#include "ui/widgets/busycursor.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"
#include "ui/widgets/sidepanel.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

namespace orvy::ui {

namespace {

// Toolbar widgets anchored to the top and right edges: their distance from the
// right edge at design width is kept on any width.
struct RightAnchor {
    int designX;
    int y;
    int width;
    int height;

    QRect at(int windowWidth) const
    {
        return { windowWidth - (TForm1::designWidth - designX), y, width, height };
    }
};

constexpr RightAnchor titleAnchor { 1014, 10, 79, 31 };
constexpr RightAnchor menuAnchor { 1109, 9, 32, 32 };
constexpr RightAnchor courses1Anchor { 616, 11, 279, 28 };
constexpr RightAnchor courses2Anchor { 208, 11, 259, 28 };
// AdvComboBox3 is anchored left and right: it widens with the window.
constexpr int types3Left = 16;
constexpr int types3RightGap = TForm1::designWidth - (16 + 41);

// The welcome panel's lower group is laid out for this width and keeps its centres
// at the same proportional positions on any other width.
constexpr int panel3DesignWidth = 985;
constexpr int panel3Height = 230;
constexpr int bannerHeightAtDesign = 376;
constexpr int panel2HeightAtDesign = 687;

QRect proportional(const QRect &design, int width)
{
    const double centre = design.x() + design.width() / 2.0;
    const int x = static_cast<int>(centre * width / panel3DesignWidth - design.width() / 2.0);
    return { x, design.y(), design.width(), design.height() };
}

const QRect label5Design { 10, -6, 965, 30 };
const QRect panel5Design { 10, 113, 965, 41 };
const QRect image4Design { 369, 179, 32, 32 };
const QRect image3Design { 440, 179, 32, 32 };
const QRect image6Design { 510, 179, 32, 32 };

QLabel *makeLabel(
    QWidget *parent, const char *name, const QString &text, const QFont &font, const QColor &colour)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    // Captions show database text: always as typed, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    setTextColour(label, colour);
    return label;
}

// The content area's panels: a one-pixel raised frame in the theme's #333333 around
// their own background.
QFrame *makePanel(QWidget *parent, const char *name)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    panel->setAutoFillBackground(true);
    return panel;
}

void setRightToLeft(QLabel *label, Qt::Alignment horizontal)
{
    label->setLayoutDirection(Qt::RightToLeft);
    label->setAlignment(horizontal | Qt::AlignAbsolute | Qt::AlignVCenter);
}

} // namespace

FormSettings FormSettings::builtIn()
{
    FormSettings settings;
    settings.db = data::builtInDbSettings();
    return settings;
}

TForm1::TForm1(FormSettings settings, QWidget *parent)
    : QWidget(parent)
    , m_settings(std::move(settings))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Orvy Class"));
    setFont(segoeUi(12));
    resize(designWidth, designHeight);

    m_adoCon = std::make_unique<data::Connection>(m_settings.db);
    m_interfaceQ = std::make_unique<data::InterfaceQuery>(*m_adoCon);
    m_temp = std::make_unique<data::Query>(*m_adoCon, QStringLiteral("Temp"));
    FDGUIxWaitCursor1 = new BusyCursor(this);
    connect(m_adoCon.get(), &data::Connection::operationStarted, FDGUIxWaitCursor1,
        &BusyCursor::operationStarted);
    connect(m_adoCon.get(), &data::Connection::operationFinished, FDGUIxWaitCursor1,
        &BusyCursor::operationFinished);

    m_reactivate.setInterval(50);
    connect(&m_reactivate, &QTimer::timeout, this, &TForm1::reactivate);
    m_fullScreenSettled.setSingleShot(true);
    m_fullScreenSettled.setInterval(1500);
    connect(&m_fullScreenSettled, &QTimer::timeout, this, &TForm1::followThePagesFullScreen);
    m_stateKeeping.setSingleShot(true);
    m_stateKeeping.setInterval(3000);

    createWidgets();
    connectHandlers();
    setUpKeyboardAndNames();
    layoutWindow();
    // Start-up may wait on a server or the banner for many seconds before this window can
    // show; meanwhile events keep going, so that a small window of its own can say so.
    m_startupWait = std::make_unique<StartupWait>(windowTitle());
    {
        const core::EventsKeepFlowing eventsFlow;
        FormCreate();
    }
    m_startupWait->stopWaiting();
}

TForm1::~TForm1() = default;

void TForm1::createWidgets()
{
    Panel1 = makePanel(this, "Panel1");
    EdgeBrowser1 = new EdgeBrowser(Panel1);
    EdgeBrowser1->setObjectName(QStringLiteral("EdgeBrowser1"));
    // Under the welcome panel until the first play, and not on offer to the keyboard
    // or to assistive technology before then.
    EdgeBrowser1->hide();

    createToolbar();
    createSidePanel();
    createWelcomePanel();

    zoom = new QAction(QStringLiteral("zoom"), this);
    zoom->setObjectName(QStringLiteral("zoom"));
    zoom->setShortcut(QKeySequence(Qt::Key_F11));
    // Any widget of the window, the browser view included, hands F11 to this command.
    zoom->setShortcutContext(Qt::WindowShortcut);
    addAction(zoom);
}

void TForm1::createToolbar()
{
    pnlToolbar = new QWidget(this);
    pnlToolbar->setObjectName(QStringLiteral("pnlToolbar"));
    pnlToolbar->setAutoFillBackground(true);
    pnlToolbar->setGeometry(0, 0, designWidth, toolbarHeight);

    lblTitle = makeLabel(pnlToolbar, "lblTitle", QStringLiteral("ئۆرڤی کلاس"), kufiTitle(16), Qt::white);
    lblTitle->setAttribute(Qt::WA_TranslucentBackground);

    imgMenu = new FlatButton(pnlToolbar);
    imgMenu->setObjectName(QStringLiteral("imgMenu"));
    imgMenu->setIcon(QIcon(QStringLiteral(":/icons/menu.png")));
    imgMenu->setIconSize(QSize(32, 32));

    const struct {
        RtlComboBox *&list;
        QLabel *&caption;
        const char *name;
        QString text;
        QColor colour;
        int captionPx;
    } lists[] = {
        { AdvComboBox1, AdvComboBox1Caption, "AdvComboBox1", QStringLiteral("کورسێن من"),
            QColor(0x16, 0xA0, 0x85), 16 },
        { AdvComboBox2, AdvComboBox2Caption, "AdvComboBox2", QStringLiteral("کورسێن ئۆرڤی کلاس"),
            QColor(0xC0, 0x39, 0x2B), 15 },
        { AdvComboBox3, AdvComboBox3Caption, "AdvComboBox3", QStringLiteral("جورێ کورسی"), QColor(Qt::white),
            15 },
    };
    for (const auto &l : lists) {
        l.list = new RtlComboBox(pnlToolbar);
        l.list->setObjectName(QString::fromLatin1(l.name));
        l.list->setFont(segoeUi(15, true));
        l.list->setTextColor(l.colour);
        l.caption = makeLabel(pnlToolbar, "", l.text, segoeUi(l.captionPx, true), l.colour);
        l.caption->setObjectName(QString::fromLatin1(l.name) + QStringLiteral("Caption"));
        l.caption->setAttribute(Qt::WA_TranslucentBackground);
        l.caption->adjustSize();
        l.list->setCaptionLabel(l.caption);
    }
    setTabOrder(AdvComboBox1, AdvComboBox2);
    setTabOrder(AdvComboBox2, AdvComboBox3);
}

void TForm1::createSidePanel()
{
    SV = new SidePanel(this);
    SV->setObjectName(QStringLiteral("SV"));
    userInfoPanel = new QWidget(SV);
    userInfoPanel->setObjectName(QStringLiteral("userInfoPanel"));
    userInfoPanel->setAutoFillBackground(true);
    QPalette panelPalette = userInfoPanel->palette();
    panelPalette.setColor(QPalette::Window, QColor(0x3B, 0x3B, 0x3B));
    userInfoPanel->setPalette(panelPalette);
    SV->setContent(userInfoPanel);

    auto *layout = new QVBoxLayout(userInfoPanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Label2 = makeLabel(userInfoPanel, "Label2", QStringLiteral("کورس :"), segoeUi(13, true), Qt::white);
    setRightToLeft(Label2, Qt::AlignRight);
    Label2->setContentsMargins(3, 3, 3, 3);
    layout->addWidget(Label2);

    Label3 = makeLabel(userInfoPanel, "Label3", QStringLiteral("..."), segoeUi(16), Qt::white);
    setRightToLeft(Label3, Qt::AlignHCenter);
    Label3->setWordWrap(true);
    // However long the course name, the lesson list keeps its room: four lines of
    // Arabic script (taller than the font's own), the name's beginning on top.
    Label3->setAlignment(Qt::AlignHCenter | Qt::AlignAbsolute | Qt::AlignTop);
    Label3->setMaximumHeight(
        4 * Label3->fontMetrics().boundingRect(QRect(), 0, QStringLiteral("کورس")).height());
    layout->addWidget(Label3);

    Label1 = makeLabel(userInfoPanel, "Label1", QStringLiteral("وانە :"), segoeUi(13, true), Qt::white);
    setRightToLeft(Label1, Qt::AlignRight);
    Label1->setContentsMargins(3, 3, 3, 3);
    layout->addWidget(Label1);

    Shape1 = new QFrame(userInfoPanel);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFixedHeight(1);
    Shape1->setAutoFillBackground(true);
    QPalette shapePalette = Shape1->palette();
    shapePalette.setColor(QPalette::Window, QColor(0x61, 0x61, 0x61));
    Shape1->setPalette(shapePalette);
    layout->addWidget(Shape1);

    ListBox1 = new LessonList(userInfoPanel);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    auto *listLayout = new QVBoxLayout;
    listLayout->setContentsMargins(3, 3, 3, 3);
    listLayout->addWidget(ListBox1);
    layout->addLayout(listLayout, 1);
}

void TForm1::createWelcomePanel()
{
    Panel2 = makePanel(this, "Panel2");
    // Black of its own: a banner's transparent parts show it.
    QPalette welcomePalette = Panel2->palette();
    welcomePalette.setColor(QPalette::Window, Qt::black);
    Panel2->setPalette(welcomePalette);

    Image1 = new BannerImage(Panel2);
    Image1->setObjectName(QStringLiteral("Image1"));

    const QColor designBlue(0x4A, 0x86, 0xE8);
    QFont linkFont = segoeUi(21, true);
    linkFont.setUnderline(true);
    // The web-site caption is clicked like the logo.
    Label9 = new FlatButton(Panel2);
    Label9->setObjectName(QStringLiteral("Label9"));
    Label9->setToolButtonStyle(Qt::ToolButtonTextOnly);
    Label9->setPlainText(QStringLiteral("http://"));
    Label9->setFont(linkFont);
    setTextColour(Label9, designBlue);
    Label9->setLayoutDirection(Qt::LeftToRight);

    Panel3 = new QWidget(Panel2);
    Panel3->setObjectName(QStringLiteral("Panel3"));

    Label5 = makeLabel(Panel3, "Label5", QString(38, u'A'), segoeUi(21, true), Qt::white);
    setRightToLeft(Label5, Qt::AlignHCenter);

    Panel5 = new QWidget(Panel3);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->resize(panel5Design.size());
    Label4 = makeLabel(Panel5, "Label4", QStringLiteral("Label4"), segoeUi(21, true), Qt::white);
    setRightToLeft(Label4, Qt::AlignRight);
    Label4->setGeometry(638, 0, 198, 33);
    Label7 = makeLabel(Panel5, "Label7", QStringLiteral("Label7"), segoeUi(21, true), designBlue);
    Label7->setLayoutDirection(Qt::LeftToRight);
    Label7->setAlignment(Qt::AlignCenter);
    Label7->setGeometry(427, 0, 205, 33);
    Label8 = makeLabel(Panel5, "Label8", QStringLiteral("Label8"), segoeUi(21, true), Qt::white);
    setRightToLeft(Label8, Qt::AlignRight);
    Label8->setGeometry(83, 0, 338, 33);

    const struct {
        FlatButton *&image;
        const char *name;
        const char *resource;
    } icons[] = {
        { Image4, "Image4", ":/icons/logo.png" },
        { Image3, "Image3", ":/icons/instagram.png" },
        { Image6, "Image6", ":/icons/facebook.png" },
    };
    for (const auto &icon : icons) {
        icon.image = new FlatButton(Panel3);
        icon.image->setObjectName(QString::fromLatin1(icon.name));
        icon.image->setIcon(QPixmap(QString::fromLatin1(icon.resource))
                                .scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        icon.image->setIconSize(QSize(32, 32));
    }
}

void TForm1::connectHandlers()
{
    connect(SV, &SidePanel::widthStepped, this, &TForm1::layoutWindow);
    connect(AdvComboBox1, &RtlComboBox::changedByUser, this, &TForm1::AdvComboBox1Change);
    connect(AdvComboBox2, &RtlComboBox::changedByUser, this, &TForm1::AdvComboBox2Change);
    connect(AdvComboBox3, &RtlComboBox::changedByUser, this, &TForm1::AdvComboBox3Change);
    connect(imgMenu, &FlatButton::clicked, this, &TForm1::imgMenuClick);
    connect(ListBox1, &LessonList::clickedByUser, this, &TForm1::ListBox1Click);
    connect(ListBox1, &LessonList::mouseLeft, this, &TForm1::ListBox1MouseLeave);
    connect(ListBox1, &LessonList::doubleClickedByUser, this, &TForm1::ListBox1DblClick);
    // Enter plays the selected lesson exactly as a double click does.
    connect(ListBox1, &LessonList::returnPressed, this, &TForm1::ListBox1DblClick);
    connect(Image3, &FlatButton::clicked, this, &TForm1::Image3Click);
    connect(Image4, &FlatButton::clicked, this, &TForm1::Image4Click);
    connect(Label9, &FlatButton::clicked, this, &TForm1::Image4Click);
    connect(Image6, &FlatButton::clicked, this, &TForm1::Image6Click);
    connect(EdgeBrowser1, &EdgeBrowser::containsFullScreenElementChanged, this,
        &TForm1::EdgeBrowser1ContainsFullScreenElementChanged);
    connect(EdgeBrowser1, &EdgeBrowser::renderProcessEnded, this, &TForm1::EdgeBrowser1RenderProcessEnded);
    // The command exists to swallow the key; it does nothing.
}

QRect TForm1::contentArea() const
{
    const int top = pnlToolbar->height();
    // The player alone takes the whole width at once and the side panel closes under it:
    // each width on the way would be one more layout of the page, seconds each on a
    // large screen without a graphics card.
    const int panel = Tag == 1 ? 0 : SV->width();
    return { 0, top, width() - panel, height() - top };
}

void TForm1::layoutWindow()
{
    const int w = width();
    pnlToolbar->setGeometry(0, 0, w, pnlToolbar->height());
    // Folded to nothing (the player alone), its lists and button must not keep the keyboard.
    pnlToolbar->setVisible(pnlToolbar->height() > 0);

    // The title keeps its right edge and grows leftwards when its font needs more room.
    QRect title = titleAnchor.at(w);
    title.setLeft(title.right() + 1 - std::max(title.width(), lblTitle->sizeHint().width()));
    lblTitle->setGeometry(title);
    imgMenu->setGeometry(menuAnchor.at(w));
    AdvComboBox1->setGeometry(courses1Anchor.at(w));
    AdvComboBox2->setGeometry(courses2Anchor.at(w));
    AdvComboBox3->setGeometry(types3Left, 11, std::max(0, w - types3Left - types3RightGap), 28);

    const int top = pnlToolbar->height();
    SV->setGeometry(w - SV->width(), top, SV->width(), height() - top);

    const QRect content = contentArea();
    Panel1->setGeometry(content);
    EdgeBrowser1->setGeometry(Panel1->contentsRect());
    Panel2->setGeometry(content);
    layoutWelcomePanel();
}

void TForm1::layoutWelcomePanel()
{
    const QRect inner = Panel2->contentsRect();
    const int bannerHeight = std::max(0, bannerHeightAtDesign + Panel2->height() - panel2HeightAtDesign);
    Image1->setGeometry(inner.x(), inner.y(), inner.width(), bannerHeight);
    // The caption's strip is the panel's width less 3 pixels each side; the button hugs its
    // text, centred in the strip, so its focus frame does too.
    const QRect strip(inner.x() + 3, inner.y() + bannerHeight + 3, std::max(0, inner.width() - 6), 33);
    const int captionWidth = std::min(strip.width(), Label9->sizeHint().width());
    Label9->setGeometry(
        strip.x() + (strip.width() - captionWidth) / 2, strip.y(), captionWidth, strip.height());
    Panel3->setGeometry(inner.x(), inner.bottom() + 1 - panel3Height, inner.width(), panel3Height);

    const int w = Panel3->width();
    Label5->setGeometry(proportional(label5Design, w));
    Panel5->setGeometry(proportional(panel5Design, w));
    Image4->setGeometry(proportional(image4Design, w));
    Image3->setGeometry(proportional(image3Design, w));
    Image6->setGeometry(proportional(image6Design, w));
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutWindow();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

void TForm1::FormClose()
{
    // The view goes first: it may still read the page built from a link.
    EdgeBrowser1->closeView();
    tmpLinks.reset();
}

} // namespace orvy::ui
