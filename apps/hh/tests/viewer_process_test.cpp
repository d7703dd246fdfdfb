// hh.exe as a user starts it, on help files compiled by our hhc.exe: the page's style sheet
// and script from inside the file take effect, an undeclared Big5 page reads as traditional
// Chinese, and nothing outside the help file's folder is read. Each page's script writes what
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

int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
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

    // Writes the files (name, bytes) into `folder`, compiles the first, a project, and shows
    // the help file `chm` it makes; gives what the page wrote into its title.
    QString compileAndView(const QString& folder, const QList<QPair<QString, QByteArray>>& files,
                           const QString& chm) {
        for (const auto& [name, bytes] : files)
            writeFile(folder + QLatin1Char('/') + name, bytes);
        if (!compile(folder, files.front().first))
            return QStringLiteral("not compiled");
        return viewAndReadTitle(folder + QLatin1Char('/') + chm);
    }

    // Starts hh.exe on `target` and waits until the page's title starts with "result:";
    // gives the rest of the title, or "timeout".
    QString viewAndReadTitle(const QString& target) {
        const int port = freePort();
        QProcess hh;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"),
                   QStringLiteral("127.0.0.1:%1").arg(port));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        hh.setProcessEnvironment(env);
        hh.start(m_app + QStringLiteral("/hh.exe"), {target});
        if (!hh.waitForStarted())
            return QStringLiteral("not started");
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
        return title;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_app = qEnvironmentVariable("QUORLIN_APP_DIR");
        QVERIFY(QFile::exists(m_app + QStringLiteral("/hh.exe")));
    }

    void styleSheetAndScriptFromTheFileTakeEffect() {
        const QByteArray script =
            "addEventListener('load', function () {\n"
            "  var added = document.createElement('div');\n"
            "  added.id = 'added';\n"
            "  document.body.appendChild(added);\n"
            "  var box = document.getElementById('box').getBoundingClientRect();\n"
            "  document.title = 'result:' + getComputedStyle(document.body).backgroundColor +\n"
            "    ' left=' + box.left + ' added=' + !!document.getElementById('added');\n"
            "});\n";
        QCOMPARE(compileAndView(
                     m_dir.filePath(QStringLiteral("site")),
                     {{QStringLiteral("site.hhp"),
                       "[OPTIONS]\r\nCompiled file=site.chm\r\nDefault topic=pages\\page.htm\r\n"
                       "Language=0x409 English (United States)\r\nTitle=Site\r\n\r\n"
                       "[FILES]\r\npages\\page.htm\r\nstyle\\look.css\r\nscripts\\check.js\r\n"},
                      {QStringLiteral("pages/page.htm"),
                       "<html><head><title>waiting</title>"
                       "<link rel=\"stylesheet\" href=\"../style/look.css\">"
                       "<script src=\"../scripts/check.js\"></script></head>"
                       "<body><div id=\"box\">box</div></body></html>"},
                      {QStringLiteral("style/look.css"),
                       "body { background-color: rgb(10, 20, 30); }\n"
                       "#box { position: absolute; left: 77px; top: 5px; }\n"},
                      {QStringLiteral("scripts/check.js"), script}},
                     QStringLiteral("site.chm")),
                 QStringLiteral("rgb(10, 20, 30) left=77 added=true"));
    }

    void undeclaredBig5PageReadsAsTraditionalChinese() {
        // 中文說明 in Big5; GBK reads the same bytes as other characters.
        QCOMPARE(
            compileAndView(m_dir.filePath(QStringLiteral("big5")),
                           {{QStringLiteral("b.hhp"),
                             "[OPTIONS]\r\nCompiled file=b.chm\r\nDefault topic=b.htm\r\n"
                             "Language=0x404\r\n\r\n[FILES]\r\nb.htm\r\n"},
                            {QStringLiteral("b.htm"),
                             "<html><head><title>b</title></head><body><p id=\"t\">"
                             "\xA4\xA4\xA4\xE5\xBB\xA1\xA9\xFA</p><script>document.title = "
                             "'result:' + document.characterSet + ' ' + "
                             "document.getElementById('t').textContent;</script></body></html>"}},
                           QStringLiteral("b.chm")),
            QStringLiteral("Big5 中文說明"));
    }

    void nothingOutsideTheHelpFilesFolderIsRead() {
        // A listener that must never be called: pages may not fetch from the network.
        QTcpServer remote;
        QVERIFY(remote.listen(QHostAddress::LocalHost, 0));
        int calls = 0;
        connect(&remote, &QTcpServer::newConnection, this, [&] {
            ++calls;
            delete remote.nextPendingConnection();
        });
        const QString folder = m_dir.filePath(QStringLiteral("gate"));
        const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
        // The same small help file beside the tested one and in another folder.
        for (const QString& f : {folder, elsewhere}) {
            writeFile(f + QStringLiteral("/n.hhp"),
                      "[OPTIONS]\r\nCompiled file=neighbour.chm\r\n\r\n[FILES]\r\nn.htm\r\n");
            writeFile(f + QStringLiteral("/n.htm"),
                      "<html><body><p>neighbour</p>"
                      "<script>parent.postMessage('neighbour', '*');</script></body></html>");
            QVERIFY(compile(f, QStringLiteral("n.hhp")));
        }
        const QByteArray remoteUrl = "http://127.0.0.1:" + QByteArray::number(remote.serverPort());
        const QByteArray otherFolder = elsewhere.toUtf8() + "/neighbour.chm";
        writeFile(
            folder + QStringLiteral("/g.hhp"),
            "[OPTIONS]\r\nCompiled file=g.chm\r\nDefault topic=g.htm\r\n\r\n[FILES]\r\ng.htm\r\n");
        // Each probe reports "loaded" or "refused"; a neighbour's page that loads says so.
        writeFile(
            folder + QStringLiteral("/g.htm"),
            "<html><head><title>g</title></head><body>\n"
            "<img id=\"file\" src=\"file:///etc/hostname\">\n"
            "<img id=\"web\" src=\"" +
                remoteUrl +
                "/a.png\">\n"
                "<iframe id=\"same\" src=\"ms-its:neighbour.chm::/n.htm\"></iframe>\n"
                "<iframe id=\"other\" src=\"ms-its:" +
                otherFolder +
                "::/n.htm\"></iframe>\n"
                "<script>\n"
                "var heard = [];\n"
                "addEventListener('message', function (e) {\n"
                "  ['same', 'other'].forEach(function (id) {\n"
                "    if (e.source === document.getElementById(id).contentWindow) heard.push(id); "
                "});\n"
                "});\n"
                "function frame(id) { return heard.indexOf(id) >= 0 ? 'loaded' : 'refused'; }\n"
                "function image(id) { return document.getElementById(id).naturalWidth ? 'loaded' : "
                "'refused'; }\n"
                "addEventListener('load', function () {\n"
                "  var parts = ['file=' + image('file'), 'web=' + image('web')];\n"
                "  var tries = [fetch('file:///etc/hostname'), fetch('" +
                remoteUrl +
                "/x'),\n"
                "               new Promise(function (ok, no) { var x = new XMLHttpRequest();\n"
                "                 x.onload = ok; x.onerror = no; x.open('GET', '" +
                remoteUrl +
                "/y'); x.send(); })];\n"
                "  Promise.allSettled(tries).then(function (r) {\n"
                "    parts.push('same=' + frame('same'), 'other=' + frame('other'));\n"
                "    parts.push('requests=' + r.map(function (s) { return s.status; "
                "}).join(','));\n"
                "    document.title = 'result:' + parts.join(' ');\n"
                "  });\n"
                "});\n"
                "</script></body></html>");
        QVERIFY(compile(folder, QStringLiteral("g.hhp")));
        QCOMPARE(viewAndReadTitle(folder + QStringLiteral("/g.chm")),
                 QStringLiteral("file=refused web=refused same=loaded other=refused "
                                "requests=rejected,rejected,rejected"));
        QTest::qWait(100);
        QCOMPARE(calls, 0);
    }
};

QTEST_GUILESS_MAIN(ViewerProcessTest)
#include "viewer_process_test.moc"
