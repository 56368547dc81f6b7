#pragma once

#include "httpserver.h"
#include "mariadbserver.h"
#include "ui/formsettings.h"
#include "ui/tform1.h"

#include <QImage>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

class QWidget;

namespace orvy::test {

// Reads every modal message box that opens while it lives, and closes it, so a
// window's handlers can be driven without a person at the keyboard.
class MessageBoxCatcher : public QObject {
    Q_OBJECT

public:
    struct Seen {
        QString title;
        QString text;
        int icon = 0;
        QStringList buttons;
        bool hadParent = false;
    };

    MessageBoxCatcher();

    const QList<Seen> &seen() const { return m_seen; }
    QStringList texts() const;
    void clear() { m_seen.clear(); }

private:
    void poll();

    QTimer m_timer;
    QList<Seen> m_seen;
};

// A catalogue database and a banner server for windows made in a test.
class FormFixture {
public:
    FormFixture();

    // Starts both servers and creates the course tables; false with a reason on failure.
    bool start(QString *error);

    // Empties the four tables and fills them with a small catalogue: three course
    // types, four courses, lessons out of order with inactive and NULL-active rows, and
    // an interface row whose banner is served by banner().
    void seedCatalogue();
    // Runs SQL against the catalogue database (as root); fails the test on error.
    void sql(const QString &statements);

    ui::FormSettings settings();
    // The same for a window in another process (a child of the test), which knows only
    // the database's port; it records no exits or links.
    static ui::FormSettings settingsFor(quint16 databasePort);

    // A window on this fixture's servers, shown at the given size and active (keyboard
    // commands need an active window); nullptr if it never became active.
    std::unique_ptr<ui::TForm1> showForm(QSize size = { 1152, 737 });

    // Makes a lesson clip (makeLessonClip()) and serves it at /lesson.mp4; its address,
    // or empty with `error` set.
    QString serveLessonClip(QString *error, QSize size = QSize(160, 120), bool withSound = true);

    MariaDbServer &db() { return m_db; }
    HttpServer &http() { return m_http; }
    QImage banner() const { return m_banner; }

    // What the window asked of the outside world.
    QList<int> fatalExits;
    QStringList openedLinks;

private:
    MariaDbServer m_db;
    HttpServer m_http;
    QImage m_banner;
};

// Chooses the seeded catalogue's first course in "my courses" by typing its first letter,
// as a keyboard user does; its lessons then fill the list.
void chooseFirstCourse(ui::TForm1 &form);
// A click, then a double click, on the lesson in `row`: how a learner plays it.
void doubleClickLesson(ui::TForm1 &form, int row);

} // namespace orvy::test
