// hh.exe as a user starts it, on a help file compiled by our hhc.exe: the page's style sheet
// and script from inside the file take effect, an undeclared Big5 page reads as traditional
// Chinese, and nothing outside the help file's folder is read. The page's script writes what
// it found into its title, which the browser engine's debugging endpoint lists.
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class ViewerProcessTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_app;

    // Compiles PROJECT.hhp in `folder` with our compiler.
    bool compile(const QString& folder, const QString& project) {
        QProcess hhc;
        hhc.setWorkingDirectory(folder);
        hhc.start(m_app + QStringLiteral("/hhc.exe"), {project});
        return hhc.waitForFinished(60000) && hhc.exitCode() == 0;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_app = qEnvironmentVariable("QUORLIN_APP_DIR");
        QVERIFY(QFile::exists(m_app + QStringLiteral("/hh.exe")));
    }

    void thePagesOwnFilesTakeEffectAndNothingOutsideTheFolderIsRead() {
        // A listener that must never be called: pages may not fetch from the network.
        QTcpServer remote;
        QVERIFY(remote.listen(QHostAddress::LocalHost, 0));
        int calls = 0;
        connect(&remote, &QTcpServer::newConnection, this, [&] {
            ++calls;
            delete remote.nextPendingConnection();
        });
        const QString folder = m_dir.filePath(QStringLiteral("site"));
        const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
        // The same small help file beside the tested one and in another folder.
        for (const QString& f : {folder, elsewhere}) {
            writeFile(f + QStringLiteral("/n.hhp"),
                      "[OPTIONS]\r\nCompiled file=neighbour.chm\r\n\r\n[FILES]\r\nn.htm\r\n");
            writeFile(f + QStringLiteral("/n.htm"),
                      "<html><body><script>parent.postMessage('n', '*');</script></body></html>");
            QVERIFY(compile(f, QStringLiteral("n.hhp")));
        }
        const QByteArray remoteUrl = "http://127.0.0.1:" + QByteArray::number(remote.serverPort());
        writeFile(folder + QStringLiteral("/g.hhp"),
                  "[OPTIONS]\r\nCompiled file=g.chm\r\nDefault topic=pages\\g.htm\r\n"
                  "Language=0x404\r\n\r\n[FILES]\r\npages\\g.htm\r\nstyle\\look.css\r\n"
                  "scripts\\check.js\r\n");
        writeFile(folder + QStringLiteral("/style/look.css"),
                  "body { background-color: rgb(10, 20, 30); }\n"
                  "#box { position: absolute; left: 77px; top: 5px; }\n");
        // 中文說明 in Big5, undeclared; GBK reads the same bytes as other characters. Each probe
        // reports "loaded" or "refused"; a neighbour's page that loads says so.
        writeFile(folder + QStringLiteral("/pages/g.htm"),
                  "<html><head><title>g</title><link rel=\"stylesheet\" href=\"../style/look.css\">"
                  "<script src=\"../scripts/check.js\"></script></head><body>\n"
                  "<div id=\"box\">box</div><p id=\"t\">\xA4\xA4\xA4\xE5\xBB\xA1\xA9\xFA</p>\n"
                  "<img id=\"file\" src=\"file:///etc/hostname\"><img id=\"web\" src=\"" +
                      remoteUrl +
                      "/a.png\">\n<iframe id=\"same\" src=\"ms-its:neighbour.chm::/n.htm\">"
                      "</iframe><iframe id=\"other\" src=\"ms-its:" +
                      elsewhere.toUtf8() + "/neighbour.chm::/n.htm\"></iframe></body></html>");
        writeFile(folder + QStringLiteral("/scripts/check.js"),
                  "var heard = [];\n"
                  "function el(id) { return document.getElementById(id); }\n"
                  "function seen(yes) { return yes ? 'loaded' : 'refused'; }\n"
                  "addEventListener('message', function (e) {\n"
                  "  ['same', 'other'].forEach(function (id) {\n"
                  "    if (e.source === el(id).contentWindow) heard.push(id); });\n"
                  "});\n"
                  "addEventListener('load', function () {\n"
                  "  var parts = [getComputedStyle(document.body).backgroundColor + ' left=' +\n"
                  "    el('box').getBoundingClientRect().left, document.characterSet,\n"
                  "    el('t').textContent, 'file=' + seen(el('file').naturalWidth),\n"
                  "    'web=' + seen(el('web').naturalWidth)];\n"
                  "  Promise.allSettled([fetch('file:///etc/hostname'), fetch('" +
                      remoteUrl +
                      "/x')]).then(function (r) {\n"
                      "    ['same', 'other'].forEach(function (id) {\n"
                      "      parts.push(id + '=' + seen(heard.indexOf(id) >= 0)); });\n"
                      "    parts.push('requests=' + r.map(function (s) { return s.status; }));\n"
                      "    document.title = 'result:' + parts.join(' ');\n"
                      "  });\n"
                      "});\n");
        QVERIFY(compile(folder, QStringLiteral("g.hhp")));

        // hh.exe on the file; the page's title, once it starts with "result:", is the outcome.
        QTcpServer probe; // a free port for the browser engine's debugging endpoint
        probe.listen(QHostAddress::LocalHost, 0);
        const int port = probe.serverPort();
        probe.close();
        QProcess hh;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"),
                   QStringLiteral("127.0.0.1:%1").arg(port));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        hh.setProcessEnvironment(env);
        hh.start(m_app + QStringLiteral("/hh.exe"), {folder + QStringLiteral("/g.chm")});
        QVERIFY(hh.waitForStarted());
        QNetworkAccessManager net;
        QString title = QStringLiteral("timeout");
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000 && hh.state() == QProcess::Running) {
            QNetworkReply* reply = net.get(
                QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(port))));
            QEventLoop wait;
            connect(reply, &QNetworkReply::finished, &wait, &QEventLoop::quit);
            wait.exec();
            const QJsonArray targets = QJsonDocument::fromJson(reply->readAll()).array();
            reply->deleteLater();
            for (const QJsonValue& t : targets) {
                const QString seen = t.toObject().value(QStringLiteral("title")).toString();
                if (seen.startsWith(QStringLiteral("result:")))
                    title = seen.mid(7);
            }
            if (title != QStringLiteral("timeout"))
                break;
            QTest::qWait(200);
        }
        hh.terminate();
        if (!hh.waitForFinished(10000))
            hh.kill();
        QCOMPARE(title,
                 QStringLiteral("rgb(10, 20, 30) left=77 Big5 中文說明 file=refused web=refused "
                                "same=loaded other=refused requests=rejected,rejected"));
        QTest::qWait(100);
        QCOMPARE(calls, 0);
    }
};

QTEST_GUILESS_MAIN(ViewerProcessTest)
#include "viewer_process_test.moc"
