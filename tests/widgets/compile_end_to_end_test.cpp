// A whole compile through the main window with the real compiler from the program folder:
// a folder of pages in, a .chm out, read back with libmspack, an independent reader.
#include "window_fixture.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <map>
#include <mspack.h>

namespace {

// Runs the compiler for real; the viewer is only recorded, so no window opens.
class CompilerOnlyRunner : public host::testing::RecordingToolRunner {
public:
    host::ToolOutcome runAndWait(const host::ToolCommand& command) override {
        return m_real.runAndWait(command);
    }

private:
    host::QtToolRunner m_real;
};

// The pages of a help file as libmspack reads them, by name.
std::map<std::string, std::string> pagesOf(const fs::path& file, const fs::path& scratch) {
    std::map<std::string, std::string> pages;
    mschm_decompressor* reader = mspack_create_chm_decompressor(nullptr);
    if (mschmd_header* chm = reader->open(reader, file.c_str())) {
        for (mschmd_file* entry = chm->files; entry != nullptr; entry = entry->next) {
            if (reader->extract(reader, entry, scratch.c_str()) == MSPACK_ERR_OK) {
                pages[entry->filename] = host::testing::readFile(scratch);
            }
        }
        reader->close(reader, chm);
    }
    mspack_destroy_chm_decompressor(reader);
    return pages;
}

} // namespace

class CompileEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    // The desktop's own message boxes: the build's question comes while the window is disabled,
    // and must still take an answer.
    void aFolderOfPagesBecomesAHelpFile() {
        QVERIFY(std::getenv("QUORLIN_APP_DIR") != nullptr);
        const auto f = std::make_unique<fixture::WindowFixture>();
        CompilerOnlyRunner tools;
        host::QtMessageBoxes realBoxes(QStringLiteral("CHM Quorlin V1.1"));
        const host::ScopedMessageBoxes boxesInForce(realBoxes);
        const host::ScopedServices realCompiler(&tools, nullptr, nullptr);
        const std::string index = "<html><head><title>首页</title></head>\r\n"
                                  "<body><a href=\"a.htm\">甲</a></body></html>\r\n";
        const std::string a = "<html><head><title>甲</title></head><body>甲页</body></html>\r\n";
        f->temp.write("pages/index.htm", index);
        f->temp.write("pages/a.htm", a);
        frmMain& w = f->open(f->pages(), true, std::getenv("QUORLIN_APP_DIR"));
        QStringList seen;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, this, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen << box->text() + (box->isEnabled() ? "|enabled" : "|disabled") +
                            (w.isEnabled() ? "|window enabled" : "|window disabled");
                for (QAbstractButton* button : box->buttons()) {
                    if (box->buttonRole(button) == QMessageBox::YesRole) {
                        button->click();
                    }
                }
            }
        });
        answerer.start(20);
        w.mnuOpeCompile->trigger();

        QCOMPARE(seen, QStringList{"编译完工程后是否删除相关文件？|enabled|window disabled"});
        QVERIFY(!fs::exists(f->pages() / "chm_hhp.hhp")); // the Yes reached the build
        const auto pages = pagesOf(f->pages() / "chm_hhp.chm", f->temp / "page.bin");
        QCOMPARE(pages.at("/index.htm"), index);
        QCOMPARE(pages.at("/a.htm"), a);
        QVERIFY(pages.contains("/chm_about.htm"));
    }
};

QTEST_MAIN(CompileEndToEndTest)
#include "compile_end_to_end_test.moc"
