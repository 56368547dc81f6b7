// The window's names as a screen reader gets them: over the AT-SPI accessibility bus, read
// by a separate process with the AT-SPI client library.
#include "formfixture.h"
#include "ui/flatbutton.h"
#include "ui/tform1.h"
#include "ui/widgets/rtlcombobox.h"
#include "ui/widgets/sidepanel.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using orvy::test::FormFixture;
using orvy::test::MessageBoxCatcher;
using orvy::ui::TForm1;

namespace {

QStringList strings(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &v : value.toArray())
        list.append(v.toString());
    return list;
}

} // namespace

class TestAtSpi : public QObject {
    Q_OBJECT

private:
    FormFixture m_fixture;
    std::unique_ptr<TForm1> m_form;
    QJsonArray m_nodes;

    // Runs the reader against this process while the event loop keeps answering it.
    QJsonObject read(const QStringList &steps, QString *error)
    {
        QProcess reader;
        reader.start(QString::fromLatin1(ORVY_SYSTEM_PYTHON),
            QStringList {
                QString::fromLatin1(ORVY_ATSPI_READER), QString::number(QCoreApplication::applicationPid()) }
                + steps);
        if (!reader.waitForStarted(10000)) {
            *error = reader.errorString();
            return {};
        }
        // The event loop must keep running: the reader's questions are answered by it.
        if (!QTest::qWaitFor([&] { return reader.state() == QProcess::NotRunning; }, 90000)) {
            reader.kill();
            reader.waitForFinished(5000);
            *error = QStringLiteral("the reader did not finish in 90 s");
            return {};
        }
        const QByteArray err = reader.readAllStandardError();
        if (reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0) {
            *error
                = QStringLiteral("reader failed (%1): %2").arg(reader.exitCode()).arg(QString::fromUtf8(err));
            return {};
        }
        QJsonParseError parse;
        const QJsonDocument doc = QJsonDocument::fromJson(reader.readAllStandardOutput(), &parse);
        if (parse.error != QJsonParseError::NoError) {
            *error = parse.errorString();
            return {};
        }
        return doc.object();
    }

    QList<QJsonObject> named(const QString &name, const QString &role) const
    {
        QList<QJsonObject> found;
        for (const QJsonValue &node : m_nodes)
            if (node.toObject().value(QStringLiteral("name")).toString() == name
                && node.toObject().value(QStringLiteral("role")).toString() == role)
                found.append(node.toObject());
        return found;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"),
            "needs a session bus (run under dbus-run-session)");
        QString error;
        QVERIFY2(m_fixture.start(&error), qPrintable(error));
        m_fixture.seedCatalogue();
        MessageBoxCatcher boxes;
        m_form = m_fixture.showForm();
        QVERIFY(m_form);
        QVERIFY(boxes.seen().isEmpty());

        const QJsonObject result = read({}, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        m_nodes = result.value(QStringLiteral("nodes")).toArray();
        QVERIFY(m_nodes.size() > 20);
    }

    void cleanupTestCase() { m_form.reset(); }

    void namesAsAScreenReaderReadsThem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("label"); // the labelling caption, if any
        QTest::addColumn<bool>("focusable");
        QTest::addColumn<bool>("pressable");
        QTest::addColumn<bool>("showing");

        const auto row = [](const QString &name, const char *role, const QString &label, bool focusable,
                             bool pressable, bool showing = true) {
            QTest::addRow("%s %s", role, qPrintable(name))
                << name << QString::fromLatin1(role) << label << focusable << pressable << showing;
        };
        row(QStringLiteral("کورسێن من"), "combo box", QStringLiteral("کورسێن من"), true, true);
        row(QStringLiteral("کورسێن ئۆرڤی کلاس"), "combo box", QStringLiteral("کورسێن ئۆرڤی کلاس"), true,
            true);
        row(QStringLiteral("گشتی"), "combo box", QStringLiteral("جورێ کورسی"), true, true);
        row(QStringLiteral("مێنیو"), "push button", QString(), true, true);
        row(QStringLiteral("وانە"), "list", QString(), true, false);
        row(QStringLiteral("https://orvy.example/"), "link", QString(), true, true);
        row(QStringLiteral("مالپەرێ ئۆرڤی کلاس"), "link", QString(), true, true);
        row(QStringLiteral("ئینستاگرام"), "link", QString(), true, true);
        row(QStringLiteral("فەیسبووک"), "link", QString(), true, true);
        row(QStringLiteral("بەخێربێن"), "label", QString(), false, false);
        // Hidden under the welcome panel until the first play.
        row(QStringLiteral("ڤیدیۆیا وانێ"), "filler", QString(), false, false, false);
    }

    void namesAsAScreenReaderReadsThem()
    {
        QFETCH(QString, name);
        QFETCH(QString, role);
        QFETCH(QString, label);
        QFETCH(bool, focusable);
        QFETCH(bool, pressable);
        QFETCH(bool, showing);

        const QList<QJsonObject> found = named(name, role);
        QCOMPARE(found.size(), 1);
        const QJsonObject node = found.first();
        if (!label.isEmpty())
            QCOMPARE(strings(node.value(QStringLiteral("labelledBy"))), QStringList { label });
        const QStringList states = strings(node.value(QStringLiteral("states")));
        QCOMPARE(states.contains(QStringLiteral("focusable")), focusable);
        QCOMPARE(states.contains(QStringLiteral("showing")), showing);
        QCOMPARE(strings(node.value(QStringLiteral("actions"))).contains(QStringLiteral("Press")), pressable);
        if (role != QStringLiteral("combo box") && role != QStringLiteral("label"))
            QVERIFY(!node.value(QStringLiteral("description")).toString().isEmpty());
    }

    void everyFocusableObjectIsNamed()
    {
        int focusable = 0;
        for (const QJsonValue &value : std::as_const(m_nodes)) {
            const QJsonObject node = value.toObject();
            const QStringList states = strings(node.value(QStringLiteral("states")));
            // Items carry the database's texts as they are (a course without a name is an
            // empty item); the controls themselves must be named.
            if (!states.contains(QStringLiteral("focusable")) || !states.contains(QStringLiteral("showing"))
                || node.value(QStringLiteral("role")).toString() == QStringLiteral("list item"))
                continue;
            ++focusable;
            QVERIFY2(!node.value(QStringLiteral("name")).toString().trimmed().isEmpty(),
                qPrintable(QString::fromUtf8(QJsonDocument(node).toJson(QJsonDocument::Compact))));
        }
        QCOMPARE(focusable, 9);
    }

    void aScreenReaderMovesTheFocusAndPresses()
    {
        QString error;
        const QJsonObject result
            = read({ QStringLiteral("--focus"), QStringLiteral("مێنیو"), QStringLiteral("--press"),
                       QStringLiteral("ئینستاگرام"), QStringLiteral("--press"), QStringLiteral("مێنیو") },
                &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        for (const QJsonValue &step : result.value(QStringLiteral("steps")).toArray())
            QVERIFY2(step.toObject().value(QStringLiteral("ok")).toBool(),
                qPrintable(step.toObject().value(QStringLiteral("name")).toString()));
        QTRY_VERIFY(m_form->imgMenu->hasFocus());
        QCOMPARE(m_fixture.openedLinks, QStringList { QStringLiteral("https://insta.example/orvy") });
        QTRY_COMPARE(m_form->SV->width(), 0);
    }
};

QTEST_MAIN(TestAtSpi)
#include "tst_atspi.moc"
