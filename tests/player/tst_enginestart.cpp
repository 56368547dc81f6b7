// A browser engine that cannot start here: the first play says why, and the program
// lives on. Each case plays a lesson in a window of its own, in a child process started
// with the case's environment, because the engine, once it aborts, takes its whole
// process with it (and reads its environment only once).
#include "formfixture.h"
#include "tmpdir.h"
#include "ui/browser/edgebrowser.h"
#include "ui/tform1.h"
#include "ui/widgets/lessonlist.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <cstdio>
#include <unistd.h>

using orvy::test::FormFixture;
using orvy::test::MessageBoxCatcher;
using orvy::ui::TForm1;

namespace {

const char childVariable[] = "ORVY_ENGINESTART_DB_PORT";

} // namespace

class TestEngineStart : public QObject {
    Q_OBJECT

private:
    FormFixture m_fixture;

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_fixture.start(&error), qPrintable(error));
        m_fixture.seedCatalogue();
    }

    // `variables`: the case's environment, "NAME=value" to set, "NAME" to remove.
    // `problem`: part of the player's message; empty when the lesson plays.
    void firstPlay_data()
    {
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<bool>("asRoot");
        const QString empty = orvy::test::freshTestDir(QStringLiteral("empty"));
        // A helper without the right to run.
        const QString plain
            = orvy::test::freshTestDir(QStringLiteral("plain")) + QStringLiteral("/QtWebEngineProcess");
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("#!/bin/sh\n") > 0);
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));

        QTest::newRow("root, sandbox on") << QStringList { QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX") }
                                          << QStringLiteral("root") << true;
        QTest::newRow("root, --no-sandbox among the engine's flags")
            << QStringList { QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"),
                   QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --no-sandbox") }
            << QString() << true;
        // The engine takes the switch as set whatever its value.
        QTest::newRow("root, switch set to 0")
            << QStringList { QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX=0") } << QString() << true;
        QTest::newRow("helper program missing") << QStringList { QStringLiteral("QTWEBENGINEPROCESS_PATH=")
            + empty + QStringLiteral("/QtWebEngineProcess") }
                                                << QStringLiteral("helper program is not installed") << false;
        QTest::newRow("helper program not executable")
            << QStringList { QStringLiteral("QTWEBENGINEPROCESS_PATH=") + plain }
            << QStringLiteral("helper program %1 cannot be run").arg(plain) << false;
        QTest::newRow("resources missing")
            << QStringList { QStringLiteral("QTWEBENGINE_RESOURCES_PATH=") + empty }
            << QStringLiteral("resources are not installed") << false;
        // Without its translations the engine still starts (and says so on stderr).
        QTest::newRow("locales missing")
            << QStringList { QStringLiteral("QTWEBENGINE_LOCALES_PATH=") + empty } << QString() << false;
    }
    void firstPlay()
    {
        QFETCH(QStringList, variables);
        QFETCH(QString, problem);
        QFETCH(bool, asRoot);
        if (asRoot && getuid() != 0)
            QSKIP("needs root");

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(childVariable), QString::number(m_fixture.db().port()));
        const QString xdg = orvy::test::freshTestDir(QStringLiteral("child-") + QTest::currentDataTag());
        env.insert(QStringLiteral("XDG_DATA_HOME"), xdg + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), xdg + QStringLiteral("/cache"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), xdg + QStringLiteral("/config"));
        for (const QString &variable : std::as_const(variables)) {
            const qsizetype equals = variable.indexOf(u'=');
            if (equals < 0)
                env.remove(variable);
            else
                env.insert(variable.left(equals), variable.mid(equals + 1));
        }
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(120000));
        const QString out = QString::fromUtf8(child.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(child.readAllStandardError());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
            qPrintable(QStringLiteral("ended with %1\n%2").arg(child.exitCode()).arg(out + err)));
        if (problem.isEmpty()) {
            QCOMPARE(out, QStringLiteral("played\n"));
        } else {
            QVERIFY2(out.startsWith(QStringLiteral("message: The video player could not start: ")),
                qPrintable(out));
            QVERIFY2(out.contains(problem), qPrintable(out));
        }
    }
};

// The program's window in a child: plays the first lesson and tells on stdout what came
// of it ("played" or the message shown), then goes on a while, as the program would.
int runChild(int argc, char **argv, quint16 databasePort)
{
    orvy::ui::EdgeBrowser::quietenEngineDiagnostics();
    QApplication app(argc, argv);
    MessageBoxCatcher boxes;
    TForm1 form(FormFixture::settingsFor(databasePort));
    form.resize(1152, 737);
    form.show();
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form) || !boxes.seen().isEmpty())
        return 2;
    orvy::test::chooseFirstCourse(form);
    if (!QTest::qWaitFor([&] { return form.ListBox1->count() > 0; }))
        return 3;
    orvy::test::doubleClickLesson(form, 0);
    // The player starts, or a message says why not; either way the program goes on.
    const bool ended
        = QTest::qWaitFor([&] { return form.EdgeBrowser1->isCreated() || !boxes.seen().isEmpty(); }, 60000);
    QTest::qWait(500);
    if (!form.isVisible())
        return 4;
    if (!boxes.seen().isEmpty())
        std::printf("message: %s\n", qPrintable(boxes.seen().constFirst().text));
    else
        std::printf(ended ? "played\n" : "nothing\n");
    return 0;
}

int main(int argc, char **argv)
{
    const QByteArray port = qgetenv(childVariable);
    if (!port.isEmpty())
        return runChild(argc, argv, quint16(port.toUInt()));
    QApplication app(argc, argv);
    TestEngineStart test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_enginestart.moc"
