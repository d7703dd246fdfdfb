// A whole compile through the main window with the real compiler from the program folder:
// a folder of pages in, a .chm out, read back with libmspack, an independent reader.
#include "window_fixture.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <map>
#include <mspack.h>

using fixture::read;
using fixture::write;

namespace {

// Runs the compiler for real; the viewer is only recorded, so no window opens.
class CompilerOnlyRunner : public host::ToolRunner {
public:
    std::vector<host::ToolCommand> viewers;
    void startDetached(const host::ToolCommand& command) override { viewers.push_back(command); }
    host::ToolOutcome runAndWait(const host::ToolCommand& command) override {
        return m_real.runAndWait(command);
    }

private:
    host::QtToolRunner m_real;
};

struct ChmContents {
    std::vector<std::string> names;
    std::map<std::string, std::string> bytes;
};

ChmContents readChm(const fs::path& file, const fs::path& scratch) {
    ChmContents result;
    mschm_decompressor* reader = mspack_create_chm_decompressor(nullptr);
    if (reader == nullptr) {
        return result;
    }
    if (mschmd_header* chm = reader->open(reader, file.c_str())) {
        for (mschmd_file* entry = chm->files; entry != nullptr; entry = entry->next) {
            result.names.emplace_back(entry->filename);
            const fs::path out = scratch / "out.bin";
            if (reader->extract(reader, entry, out.c_str()) == MSPACK_ERR_OK) {
                result.bytes[entry->filename] = read(out);
            }
        }
        reader->close(reader, chm);
    }
    mspack_destroy_chm_decompressor(reader);
    return result;
}

} // namespace

class CompileEndToEndTest : public QObject {
    Q_OBJECT

private:
    fixture::WindowFixture f;
    CompilerOnlyRunner m_tools;

private slots:
    void init() { f.setUp(QTest::currentTestFunction()); }
    void cleanup() { f.tearDown(); }

    void aFolderOfPagesBecomesAHelpFile() {
        const char* appDir = std::getenv("QUORLIN_APP_DIR");
        QVERIFY(appDir != nullptr);
        const host::ScopedServices realCompiler(&m_tools, nullptr, nullptr);
        const std::string index = "<html><head><title>首页</title></head>\r\n"
                                  "<body><a href=\"a.htm\">甲</a></body></html>\r\n";
        const std::string a = "<html><head><title>甲</title></head><body>甲页</body></html>\r\n";
        write(f.pages() / "index.htm", index);
        write(f.pages() / "a.htm", a);
        fs::current_path(f.pages());
        frmMain w(appDir);
        f.boxes->answers = {host::MessageAnswer::Yes};
        w.mnuOpeCompile->trigger();

        QCOMPARE(f.boxes->texts(), std::vector<std::string>{"编译完工程后是否删除相关文件？"});
        const fs::path compiled = f.pages() / "chm_hhp.chm";
        QVERIFY(fs::exists(compiled));
        QCOMPARE(m_tools.viewers.size(), std::size_t{1});
        QCOMPARE(m_tools.viewers[0].arguments, std::string("chm_hhp.chm"));
        for (const char* gone : {"chm_hhp.hhp", "chm_hhp.hhc", "chm_hhp.hhk", "chm_about.htm"}) {
            QVERIFY2(!fs::exists(f.pages() / gone), gone);
        }

        const ChmContents chm = readChm(compiled, f.root());
        const auto has = [&](const std::string& name) {
            return std::find(chm.names.begin(), chm.names.end(), name) != chm.names.end();
        };
        QVERIFY(has("/index.htm"));
        QVERIFY(has("/a.htm"));
        QVERIFY(has("/chm_about.htm"));
        QCOMPARE(chm.bytes.at("/index.htm"), index);
        QCOMPARE(chm.bytes.at("/a.htm"), a);
        QVERIFY(w.isEnabled());
        QCOMPARE(w.statusText(), QStringLiteral("就绪"));
    }

    // The desktop's own message boxes: the build's question comes while the window is
    // disabled, and must still take an answer.
    void theQuestionsCanBeAnsweredWhileTheWindowIsDisabled() {
        const char* appDir = std::getenv("QUORLIN_APP_DIR");
        QVERIFY(appDir != nullptr);
        host::QtMessageBoxes realBoxes(QStringLiteral("CHM Quorlin V1.1"));
        const host::ScopedMessageBoxes boxesInForce(realBoxes);
        const host::ScopedServices realCompiler(&m_tools, nullptr, nullptr);
        write(f.pages() / "index.htm", "<html><head><title>首页</title></head></html>\r\n");
        fs::current_path(f.pages());
        frmMain w(appDir);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QStringList seen;
        QTimer answerer;
        answerer.setInterval(20);
        connect(&answerer, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            seen << box->windowTitle() + "|" + box->text() + "|" +
                        (box->isEnabled() ? "enabled" : "disabled") + "|" +
                        (w.isEnabled() ? "window enabled" : "window disabled");
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == QStringLiteral("否(&N)")) {
                    button->click();
                }
            }
        });
        answerer.start();
        w.mnuOpeCompile->trigger();
        answerer.stop();

        QCOMPARE(seen, QStringList{"CHM Quorlin V1.1|编译完工程后是否删除相关文件？|enabled|window "
                                   "disabled"});
        QVERIFY(fs::exists(f.pages() / "chm_hhp.chm"));
        QVERIFY(fs::exists(f.pages() / "chm_hhp.hhp")); // answered No: kept
        QVERIFY(w.isEnabled());
    }
};

QTEST_MAIN(CompileEndToEndTest)
#include "compile_end_to_end_test.moc"
