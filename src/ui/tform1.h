#pragma once

#include "ui/formsettings.h"

#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class QAction;
class QFrame;
class QLabel;

namespace orvy::data {
class Connection;
class InterfaceQuery;
class Query;
} // namespace orvy::data

namespace orvy::ui {

class BannerImage;
class BusyCursor;
class StartupWait;
class FlatButton;
class EdgeBrowser;
class LessonList;
class RtlComboBox;
class SidePanel;

// The program's one window. Its widgets keep the names they are known by; the
// handlers are thin and hand the work to the data, network and player layers.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    // Design size of the client area; positions below are for this width.
    static constexpr int designWidth = 1152;
    static constexpr int designHeight = 737;
    static constexpr int toolbarHeight = 50;

    explicit TForm1(FormSettings settings, QWidget *parent = nullptr);
    ~TForm1() override;

    // Whether start-up ended through the fatal path (the window must not be shown).
    bool startupFailed() const { return m_startupFailed; }

    // Full-screen state of the player: 0 normal chrome, 1 the player alone.
    int Tag = 0;

    // Program-wide links of the welcome panel, set by FormCreate.
    QString orvyInstagram;
    QString orvyWeb;
    QString fbLink;

    // Lesson links, parallel to ListBox1's items; created by FormCreate.
    std::unique_ptr<QStringList> tmpLinks;

    // Widgets, in creation order.
    QFrame *Panel1 = nullptr;
    EdgeBrowser *EdgeBrowser1 = nullptr;
    QWidget *pnlToolbar = nullptr;
    QLabel *lblTitle = nullptr;
    FlatButton *imgMenu = nullptr;
    RtlComboBox *AdvComboBox1 = nullptr;
    RtlComboBox *AdvComboBox2 = nullptr;
    RtlComboBox *AdvComboBox3 = nullptr;
    QLabel *AdvComboBox1Caption = nullptr;
    QLabel *AdvComboBox2Caption = nullptr;
    QLabel *AdvComboBox3Caption = nullptr;
    SidePanel *SV = nullptr;
    QWidget *userInfoPanel = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label1 = nullptr;
    QFrame *Shape1 = nullptr;
    LessonList *ListBox1 = nullptr;
    QFrame *Panel2 = nullptr;
    BannerImage *Image1 = nullptr;
    FlatButton *Label9 = nullptr;
    QWidget *Panel3 = nullptr;
    QLabel *Label5 = nullptr;
    QWidget *Panel5 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    FlatButton *Image4 = nullptr;
    FlatButton *Image3 = nullptr;
    FlatButton *Image6 = nullptr;
    QAction *zoom = nullptr;

    // Non-visual members.
    data::Connection &AdoCon() { return *m_adoCon; }
    data::InterfaceQuery &interfaceQ() { return *m_interfaceQ; }
    data::Query &Temp() { return *m_temp; }

    // Plays a lesson's video link in the embedded browser.
    void PlayVideo(const QString &url);

    // The content area: what the toolbar and the side panel leave free (the player alone
    // covers the side panel).
    QRect contentArea() const;

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createWidgets();
    void createToolbar();
    void createSidePanel();
    void createWelcomePanel();
    void connectHandlers();
    void setUpKeyboardAndNames();
    void layoutWindow();
    void layoutWelcomePanel();

    // Handlers.
    void FormCreate();
    void FormClose();
    void AdvComboBox1Change();
    void AdvComboBox2Change();
    void AdvComboBox3Change();
    void imgMenuClick();
    void ListBox1Click();
    void ListBox1MouseLeave();
    void ListBox1DblClick();
    void Image3Click();
    void Image4Click();
    void Image6Click();
    void EdgeBrowser1ContainsFullScreenElementChanged(bool containsFullScreenElement);
    void EdgeBrowser1RenderProcessEnded(const QString &reason);
    void showFullScreenChrome(bool playerAlone);
    void followThePagesFullScreen();

    void setBorderless(bool borderless);
    void keepStateThroughRecreation(Qt::WindowStates states);
    void keepingActivation(const std::function<void()> &recreate);
    void reactivate();
    void loadStartupLists();
    void loadLessons(RtlComboBox *list);
    void fillCourses(RtlComboBox *list);

    FormSettings m_settings;
    std::unique_ptr<data::Connection> m_adoCon;
    std::unique_ptr<data::InterfaceQuery> m_interfaceQ;
    std::unique_ptr<data::Query> m_temp;
    BusyCursor *FDGUIxWaitCursor1 = nullptr;
    bool m_startupFailed = false;
    std::unique_ptr<StartupWait> m_startupWait; // until the window shows
    // Keyboard focus to give back once a re-created native window shows again.
    QPointer<QWidget> m_focusToRestore;
    QTimer m_reactivate;
    int m_reactivateTries = 0;
    // The state (maximized) a re-created native window must come back in, and for how
    // long the window manager's first word on the new window is corrected to it.
    Qt::WindowStates m_stateToKeep;
    QTimer m_stateKeeping;
    // Once the page's full-screen notifications have paused this long, the chrome follows
    // the page's own state wherever the toggling left it otherwise.
    QTimer m_fullScreenSettled;
    // The lesson the player shows, and whether it was reloaded once already after its
    // render process ended.
    QString m_shownLink;
    bool m_reloadedAfterCrash = false;
};

} // namespace orvy::ui
