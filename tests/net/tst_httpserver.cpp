#include "httpserver.h"
#include "tmpdir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTest>

using orvy::test::HttpServer;

namespace {

// Sends raw request bytes and returns everything the server sent until it closed.
QByteArray exchange(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return "connect failed";
    socket.write(request);
    QByteArray answer;
    QElapsedTimer timer;
    timer.start();
    while (socket.state() == QAbstractSocket::ConnectedState && timer.elapsed() < 10000) {
        socket.waitForReadyRead(200);
        answer += socket.readAll();
    }
    return answer + socket.readAll();
}

QByteArray bodyOf(const QByteArray &answer)
{
    const qsizetype end = answer.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : answer.mid(end + 4);
}

} // namespace

// The fixture the player and start-up tests rely on: byte ranges for the video
// element, silent connections that must not hang shutdown, and request recording.
class TestHttpServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fileRanges_data()
    {
        QTest::addColumn<QByteArray>("range");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<QByteArray>("contentRange");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("length");
        const QByteArray ok = "HTTP/1.1 206 Partial Content";
        QTest::newRow("no range") << QByteArray() << QByteArray("HTTP/1.1 200 OK") << QByteArray() << 0
                                  << 300000;
        QTest::newRow("open end") << QByteArray("bytes=0-") << ok << QByteArray("bytes 0-299999/300000") << 0
                                  << 300000;
        QTest::newRow("middle") << QByteArray("bytes=100-199") << ok << QByteArray("bytes 100-199/300000")
                                << 100 << 100;
        QTest::newRow("suffix") << QByteArray("bytes=-10") << ok << QByteArray("bytes 299990-299999/300000")
                                << 299990 << 10;
        QTest::newRow("end past size") << QByteArray("bytes=299900-500000") << ok
                                       << QByteArray("bytes 299900-299999/300000") << 299900 << 100;
        QTest::newRow("start past size")
            << QByteArray("bytes=300000-") << QByteArray("HTTP/1.1 416 Range Not Satisfiable")
            << QByteArray("bytes */300000") << 0 << 0;
    }
    // 300 kB: more than the server queues at once, so the body goes out in pieces.
    void fileRanges()
    {
        QFETCH(QByteArray, range);
        QFETCH(QByteArray, statusLine);
        QFETCH(QByteArray, contentRange);
        QFETCH(int, first);
        QFETCH(int, length);

        QByteArray content;
        for (int i = 0; i < 300000; ++i)
            content += char(i * 7);
        const QString path = orvy::test::freshTestDir(QStringLiteral("ranges")) + QStringLiteral("/v.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();

        HttpServer server;
        server.setRoute("/v.mp4", HttpServer::Response::file(path, "video/mp4"));
        QByteArray request = "GET /v.mp4 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
        if (!range.isEmpty())
            request += "Range: " + range + "\r\n";
        const QByteArray answer = exchange(server.port(), request + "\r\n");

        QVERIFY2(answer.startsWith(statusLine + "\r\n"), answer.left(200).constData());
        QVERIFY(answer.contains("\r\nAccept-Ranges: bytes\r\n"));
        QVERIFY(answer.contains("\r\nContent-Type: video/mp4\r\n"));
        if (!contentRange.isEmpty())
            QVERIFY(answer.contains("\r\nContent-Range: " + contentRange + "\r\n"));
        QCOMPARE(bodyOf(answer), content.mid(first, length));
    }

    void keepAliveServesSeveralRequests()
    {
        HttpServer server;
        server.setRoute("/a", HttpServer::Response::ok("first"));
        const QByteArray answer = exchange(server.port(),
            "GET /a HTTP/1.1\r\nHost: x\r\n\r\n"
            "GET /missing?q=1 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        QVERIFY(answer.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(answer.contains("\r\n\r\nfirstHTTP/1.1 404 Not Found\r\n"));
        QVERIFY(answer.contains("<html>"));

        const QList<HttpServer::Request> requests = server.requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests.at(1).method, QByteArray("GET"));
        QCOMPARE(requests.at(1).path, QByteArray("/missing?q=1"));
        QCOMPARE(requests.at(1).headerLines, QList<QByteArray>({ "Host: x", "Connection: close" }));
    }

    void neverAnswerDoesNotHangShutdown()
    {
        QElapsedTimer timer;
        timer.start();
        QTcpSocket socket;
        {
            HttpServer server;
            server.setRoute("/slow", HttpServer::Response::neverAnswer());
            socket.connectToHost(QHostAddress::LocalHost, server.port());
            QVERIFY(socket.waitForConnected(5000));
            socket.write("GET /slow HTTP/1.1\r\nHost: x\r\n\r\n");
            QVERIFY(socket.waitForBytesWritten(5000));
            QTRY_COMPARE(server.requests().size(), 1);
            QVERIFY(!socket.waitForReadyRead(300));
        }
        QVERIFY(timer.elapsed() < 5000);
        // The server dropped the connection when it stopped.
        QVERIFY(socket.waitForDisconnected(5000) || socket.state() == QAbstractSocket::UnconnectedState);
    }

    void tls()
    {
        const HttpServer::Tls files
            = HttpServer::makeSelfSignedCertificate(orvy::test::freshTestDir(QStringLiteral("tls")));
        QVERIFY(!files.certificateFile.isEmpty());
        HttpServer server(files);
        QVERIFY(server.url(QStringLiteral("x")).startsWith(QStringLiteral("https://127.0.0.1:")));
        server.setRoute("/x", HttpServer::Response::ok("secret"));

        QSslSocket socket;
        socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), server.port());
        QVERIFY2(socket.waitForEncrypted(10000), qPrintable(socket.errorString()));
        socket.write("GET /x HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        QByteArray answer;
        while (socket.waitForReadyRead(3000))
            answer += socket.readAll();
        QVERIFY2(answer.startsWith("HTTP/1.1 200 OK\r\n"), answer.constData());
        QCOMPARE(bodyOf(answer), QByteArray("secret"));
    }
};

QTEST_GUILESS_MAIN(TestHttpServer)
#include "tst_httpserver.moc"
