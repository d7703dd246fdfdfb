// Runs the built hhc.exe on fixture projects and reads the results back with three
// independent readers (libmspack, chmlib's extract_chmLib, 7-Zip), byte for byte. The settings
// are read with the viewer's readers, which are held against other compilers' files.
#include <chm/reader_archive.h>
#include <chm/reader_decompile.h>
#include <chm/reader_settings.h>
#include <chm/search_index.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <mspack.h>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>; // internal or relative name -> bytes

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeAll(const fs::path& path, const std::string& data) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << data;
}

std::string quote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

Files folderFiles(const fs::path& folder) {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).generic_string()] = readAll(entry.path());
    return files;
}

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

class HhcTool : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"QUORLIN_APP_DIR", "QUORLIN_SOURCE_DIR"})
            ASSERT_NE(std::getenv(name), nullptr) << name;
        m_hhc = fs::path(std::getenv("QUORLIN_APP_DIR")) / "hhc.exe";
        m_fixtures = fs::path(std::getenv("QUORLIN_SOURCE_DIR")) / "libs/hhp/tests/fixtures";
        ASSERT_TRUE(fs::exists(m_hhc)) << m_hhc;
        m_work = fs::temp_directory_path() /
                 ("hhc_tool_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_work);
        fs::create_directories(m_work);
    }
    void TearDown() override {
        if (!HasFailure())
            fs::remove_all(m_work);
    }

    fs::path copyFixture(const std::string& name) {
        const fs::path target = m_work / name;
        fs::copy(m_fixtures / name, target, fs::copy_options::recursive);
        return target;
    }

    // Runs hhc.exe in folder with the argument text as given (the shell splits it at blanks,
    // as a caller that passes one command line would). `prefix` runs before, in the same shell.
    ToolRun hhc(const fs::path& folder, const std::string& arguments,
                const std::string& prefix = "") {
        return runTool(m_hhc, folder, arguments, prefix);
    }
    ToolRun hh(const fs::path& folder, const std::string& arguments) {
        return runTool(m_hhc.parent_path() / "hh.exe", folder, arguments, "");
    }
    ToolRun runTool(const fs::path& tool, const fs::path& folder, const std::string& arguments,
                    const std::string& prefix) {
        ToolRun run;
        const fs::path out = m_work / "stdout.txt";
        const fs::path err = m_work / "stderr.txt";
        const std::string command = "cd " + quote(folder.string()) + " && " + prefix + " " +
                                    quote(tool.string()) + " " + arguments + " >" +
                                    quote(out.string()) + " 2>" + quote(err.string());
        // POSIX only: the command line is for sh, the status is decoded with WIFEXITED.
        const int status = std::system(("sh -c " + quote(command)).c_str());
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = readAll(out);
        run.err = readAll(err);
        return run;
    }

    // Every file chmlib's extract_chmLib or 7-Zip extracts.
    Files extractWith(const std::string& tool, const fs::path& chm) {
        const fs::path folder = m_work / tool;
        fs::remove_all(folder);
        const std::string command =
            tool == "7z" ? "7z x -y -o" + quote(folder.string()) + " " + quote(chm.string())
                         : tool + " " + quote(chm.string()) + " " + quote(folder.string());
        EXPECT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
        return folderFiles(folder);
    }

    // Every file libmspack lists, extracted through libmspack, keyed without the leading '/'.
    Files extractMspack(const fs::path& chm) {
        Files files;
        mschm_decompressor* decompressor = mspack_create_chm_decompressor(nullptr);
        // libmspack keeps the name to reopen the file for each extraction.
        const std::string chmName = chm.string(), temp = (m_work / "mspack.bin").string();
        mschmd_header* header =
            decompressor ? decompressor->open(decompressor, chmName.c_str()) : nullptr;
        EXPECT_NE(header, nullptr) << "libmspack cannot open " << chm;
        for (mschmd_file* file = header ? header->files : nullptr; file; file = file->next) {
            EXPECT_EQ(decompressor->extract(decompressor, file, temp.c_str()), MSPACK_ERR_OK)
                << file->filename;
            const std::string name = file->filename;
            files[name.substr(name.starts_with('/') ? 1 : 0)] = readAll(temp);
        }
        if (header)
            decompressor->close(decompressor, header);
        mspack_destroy_chm_decompressor(decompressor);
        return files;
    }

    // Reads the .chm with all three readers and checks each expected file byte for byte;
    // returns what libmspack found.
    Files check(const fs::path& chm, const Files& expected,
                const std::set<std::string>& absent = {}) {
        const Files byMspack = extractMspack(chm);
        const std::pair<const char*, Files> readers[] = {
            {"libmspack", byMspack},
            {"extract_chmLib", extractWith("extract_chmLib", chm)},
            {"7-Zip", extractWith("7z", chm)}};
        for (const auto& [reader, files] : readers)
            for (const auto& [name, data] : expected) {
                const auto it = files.find(name);
                EXPECT_TRUE(it != files.end() && it->second == data)
                    << reader << ": " << name << (it == files.end() ? " missing" : " differs");
            }
        for (const auto& name : absent)
            EXPECT_EQ(byMspack.count(name), 0u) << name << " should not be stored";
        return byMspack;
    }

    // Compiles folder/name.hhp, which must give no warning, and opens the name.chm it writes.
    void compileWithoutWarnings(const fs::path& folder, const std::string& name,
                                chm::ReaderArchive& archive) {
        const ToolRun run = hhc(folder, name + ".hhp");
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_EQ(run.err.find("警告"), std::string::npos) << run.err;
        ASSERT_EQ(archive.openFile((folder / (name + ".chm")).string()), chm::ReadError::Ok);
    }

    fs::path m_hhc;
    fs::path m_fixtures;
    fs::path m_work;
};

std::span<const std::uint8_t> bytesOf(const Files& files, const std::string& name) {
    static const std::string none;
    const auto it = files.find(name);
    const std::string& data = it == files.end() ? none : it->second;
    return {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
}

// #SYSTEM, and the window of that name from #WINDOWS with its texts from #STRINGS.
std::pair<chm::SystemSettings, chm::WindowSettings> readSettings(const Files& files,
                                                                 const std::string& window) {
    std::vector<std::string> warnings;
    std::pair<chm::SystemSettings, chm::WindowSettings> out;
    out.first = chm::parseSystem(bytesOf(files, "#SYSTEM"), warnings);
    for (const auto& w :
         chm::parseWindows(bytesOf(files, "#WINDOWS"), bytesOf(files, "#STRINGS"), warnings))
        if (w.name == window)
            out.second = w;
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_EQ(out.second.name, window);
    return out;
}

// The context-help ids of a help file, in stored order: number and topic file.
std::vector<std::pair<std::uint32_t, std::string>> contextIds(const Files& files) {
    std::vector<chm::DecompileWarning> warnings;
    std::vector<std::pair<std::uint32_t, std::string>> ids;
    for (const auto& id :
         chm::parseContextIds(bytesOf(files, "#IVB"), bytesOf(files, "#STRINGS"), warnings))
        ids.emplace_back(id.number, id.file);
    EXPECT_TRUE(warnings.empty());
    return ids;
}

// The words of a help file's full-text index, sorted.
std::vector<std::string> indexWords(const Files& files) {
    const auto bytes = bytesOf(files, "$FIftiMain");
    chm::SearchIndex index;
    std::vector<std::string> words;
    if (!bytes.empty()) {
        EXPECT_EQ(index.load({bytes.begin(), bytes.end()}), chm::SearchError::Ok);
        EXPECT_EQ(index.words(words), chm::SearchError::Ok);
    }
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return words;
}

// The GBK bytes of the characters these tests use, from Python's codec rather than ours.
const std::string kHan = "测试帮助首页第二关于索引中的键字，搜到文件：目录、和。开始详细说明";
const std::string kHanGbk =
    "\xB2\xE2\xCA\xD4\xB0\xEF\xD6\xFA\xCA\xD7\xD2\xB3\xB5\xDA\xB6\xFE\xB9\xD8\xD3\xDA\xCB\xF7\xD2"
    "\xFD\xD6\xD0\xB5\xC4\xBC\xFC\xD7\xD6\xA3\xAC\xCB\xD1\xB5\xBD\xCE\xC4\xBC\xFE\xA3\xBA\xC4\xBF"
    "\xC2\xBC\xA1\xA2\xBA\xCD\xA1\xA3\xBF\xAA\xCA\xBC\xCF\xEA\xCF\xB8\xCB\xB5\xC3\xF7";

// UTF-8 text (ASCII and the characters above) in GBK.
std::string gbk(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            out += utf8[i++];
            continue;
        }
        const std::size_t at = kHan.find(utf8.substr(i, 3));
        if (at == std::string::npos || at % 3 != 0) {
            ADD_FAILURE() << "no GBK bytes for " << utf8.substr(i, 3);
            return out;
        }
        out += kHanGbk.substr(at / 3 * 2, 2);
        i += 3;
    }
    return out;
}

TEST_F(HhcTool, GeneratedFolderProject) {
    const fs::path folder = copyFixture("folder");
    const ToolRun run = hhc(folder, "chm_hhp.hhp");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.err.find("chm_hhp.hhp:17: 警告：找不到文件 \"Missing.htm\""), std::string::npos)
        << run.err;
    // "Display compile progress=No": only the summary.
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    EXPECT_NE(run.out.find("编译完成："), std::string::npos);

    Files expected;
    for (const char* name :
         {"index.htm", "a.htm", "sub/b.htm", "chm_about.htm", "style/site.css", "style/extra.css",
          "img/logo.png", "img/bg.png", "img/pic.gif", "img/about.gif"})
        expected[name] = readAll(folder / name);
    // The sitemaps' UTF-8 lines are stored in the project's code page (GBK).
    for (const char* name : {"chm_hhp.hhc", "chm_hhp.hhk"})
        expected[name] = gbk(readAll(folder / name));
    const fs::path chm = folder / "chm_hhp.chm";
    const auto files = check(chm, expected, {"unreferenced.txt", "Missing.htm", "outside.htm"});

    // The title from the default window's caption, the default topic from the window's page.
    const auto [system, w] = readSettings(files, "main");
    EXPECT_EQ((std::vector<std::string>{system.title, system.defaultTopic, system.defaultWindow,
                                        w.caption, w.defaultFile}),
              (std::vector<std::string>{gbk("测试帮助"), "index.htm", "main", gbk("测试帮助"),
                                        "index.htm"}));
    EXPECT_EQ(
        (std::vector<std::int64_t>{system.lcid.value_or(0), system.fullTextSearch, w.properties}),
        (std::vector<std::int64_t>{0x804, 1, 0x63520}));
    EXPECT_EQ(files.count("$FIftiMain"), 1u);

    // The same inputs give the same bytes.
    const std::string first = readAll(chm);
    ASSERT_EQ(hhc(folder, "chm_hhp.hhp").status, 0);
    EXPECT_TRUE(readAll(chm) == first);
}

TEST_F(HhcTool, HandWrittenWindowsProject) {
    const fs::path folder = copyFixture("windows");
    // The name has a blank: it arrives as two arguments and is joined back.
    const ToolRun run = hhc(folder, "Help Project.hhp");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_GT(std::count(run.out.begin(), run.out.end(), '\n'), 1) << "progress expected";

    Files expected;
    for (const char* name : {"html/intro.htm", "html/second.htm", "html/extra.html", "help.css",
                             "images/shot.gif", "popups.txt", "Help.hhc", "Help.hhk"})
        expected[name] = readAll(folder / name);
    const auto files = check(folder / "Help.chm", expected, {"alias.ali", "context.h"});

    const auto [system, w] = readSettings(files, "main");
    EXPECT_EQ(system.title, "Widget Help");
    EXPECT_EQ(system.defaultTopic, "html/intro.htm");
    EXPECT_EQ(system.defaultFont, "Arial,8,0");
    EXPECT_EQ(system.lcid, 0x409u);
    EXPECT_EQ((std::vector<std::string>{w.caption, w.toc, w.index}),
              (std::vector<std::string>{"Widget Help Window", "Help.hhc", "Help.hhk"}));
    EXPECT_EQ((std::vector<std::int64_t>{w.rect[0], w.rect[3], w.navWidth}),
              (std::vector<std::int64_t>{10, 500, 220})); // left, bottom, navigation width
}

TEST_F(HhcTool, FailuresAreReportedAndLeaveAnEarlierFileAlone) {
    // No project named at all.
    ToolRun run = hhc(m_work, "");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.err, "用法：hhc.exe 工程文件.hhp\n");

    // Writing fails half-way (the file-size limit stops it): the earlier .chm stays as it was
    // and no temporary file is left behind.
    const fs::path folder = copyFixture("folder");
    writeAll(folder / "chm_hhp.chm", "EARLIER");
    run = hhc(folder, "chm_hhp.hhp", "ulimit -f 4 &&");
    EXPECT_NE(run.status, 0) << run.out << run.err;
    EXPECT_EQ(readAll(folder / "chm_hhp.chm"), "EARLIER");
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".chm_hhp.chm."), std::string::npos)
            << entry.path();

    // An absolute project path from another folder works, with the output beside the project.
    run = hhc(m_work, quote((folder / "chm_hhp.hhp").string()));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GT(fs::file_size(folder / "chm_hhp.chm"), 1000u);
}

// A Sphinx documentation tree of a few hundred pages with images, cross references and an
// index, built by its htmlhelp builder; an empty path when the build fails.
fs::path sphinxProject(const fs::path& work) {
    const fs::path source = work / "doc";
    writeAll(source / "conf.py", "project = 'Widgets'\nhtmlhelp_basename = 'widgets'\n"
                                 "extensions = ['sphinxcontrib.htmlhelp']\n");
    writeAll(source / "index.rst", "Widgets\n=======\n\n.. toctree::\n   :glob:\n\n   part*/*\n");
    writeAll(source / "logo.png", std::string("\x89PNG\r\n\x1a\n") + std::string(300, '\x07'));
    // Words that only some pages hold, so that searching them means something.
    const char* const kinds[] = {"gear", "spring", "lever", "pulley", "wheel", "axle", "screw"};
    for (int part = 0; part < 4; ++part)
        for (int i = 0; i < 60; ++i) {
            const std::string name = "page" + std::to_string(i);
            std::string rst = "Widget " + std::to_string(part) + "." + std::to_string(i) +
                              "\n==================\n\n.. index:: widget " + std::to_string(i) +
                              "\n\n.. image:: ../logo.png\n\nSee :doc:`page" +
                              std::to_string((i + 1) % 60) + "`.\n\n";
            for (int k = 0; k < 8; ++k)
                rst += "Section " + std::to_string(k) + "\n---------\n\nText about widget " +
                       std::to_string(i) + " and its part " + std::to_string(k) + ", a " +
                       kinds[(i * 3 + k * part) % 7] + " *" + kinds[(i + part) % 7] +
                       "* don't ``code_word``.\n\n";
            writeAll(source / ("part" + std::to_string(part)) / (name + ".rst"), rst);
        }
    const fs::path out = work / "htmlhelp";
    if (std::system(("sphinx-build -q -b htmlhelp " + quote(source.string()) + " " +
                     quote(out.string()) + " >/dev/null 2>&1")
                        .c_str()) != 0)
        return {};
    return out;
}

// The words of a page by a plain scan: comments, scripts, style sheets, tags and character
// references become blanks, apostrophes go ("don't" is "dont"), then the text is cut at
// everything but letters, digits and underscores. Only words of ASCII letters alone are kept,
// so the scan needs no Unicode rule of its own (nor the one for dots after digits).
std::set<std::string> plainWords(const std::string& html) {
    static const std::regex markup(
        "<!--[\\s\\S]*?(-->|$)|<(script|style)\\b[\\s\\S]*?(</\\2|$)|<[^>]*(>|$)|&[^;]{0,7};",
        std::regex::icase);
    std::set<std::string> words;
    std::string word;
    static const std::regex apostrophe("'");
    for (const char c :
         std::regex_replace(std::regex_replace(html, markup, " "), apostrophe, "") + " ") {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
            static_cast<unsigned char>(c) >= 0x80) {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            continue;
        }
        if (!word.empty() && std::all_of(word.begin(), word.end(), [](char w) {
                return std::isalpha(static_cast<unsigned char>(w));
            }))
            words.insert(word);
        word.clear();
    }
    return words;
}

// Search results as page names.
std::set<std::string> searchPages(chm::ReaderArchive& archive,
                                  const std::vector<chm::TopicEntry>& topics,
                                  const std::string& query) {
    std::vector<std::uint32_t> found;
    EXPECT_EQ(chm::search(archive, query, found), chm::SearchError::Ok) << query;
    std::set<std::string> pages;
    for (std::uint32_t t : found)
        pages.insert(t < topics.size() ? topics[t].url : "topic " + std::to_string(t));
    return pages;
}

// Every file the project lists is stored, the images from the link scan too, and a search
// finds exactly the pages a plain scan finds the word on. The query rules (several words,
// words on no page) are in search_index_test.cpp.
TEST_F(HhcTool, SphinxHtmlHelpProject) {
    if (std::system("sphinx-build --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "sphinx-build is not installed";
    const fs::path out = sphinxProject(m_work);
    ASSERT_FALSE(out.empty());
    const std::string project = readAll(out / "widgets.hhp");
    ASSERT_NE(project.find("Full-text search=Yes"), std::string::npos);
    chm::ReaderArchive archive;
    compileWithoutWarnings(out, "widgets", archive);

    const auto stored = extractMspack(out / "widgets.chm");
    Files expected;
    for (const auto& [name, data] : stored)
        if (!name.empty() && name[0] != '#' && name[0] != '$') {
            ASSERT_TRUE(fs::exists(out / name)) << name << " is stored but has no source";
            expected[name] = readAll(out / name);
        }
    const auto files = project.find("[FILES]");
    ASSERT_NE(files, std::string::npos);
    std::istringstream listed(project.substr(files + 7));
    for (std::string line; std::getline(listed, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '[')
            break;
        EXPECT_EQ(expected.count(line), 1u) << line;
    }
    EXPECT_EQ(expected.count("_images/logo.png"), 1u);
    EXPECT_EQ(expected.count("widgets.hhc"), 1u);
    check(out / "widgets.chm", expected);
    EXPECT_EQ(readSettings(stored, "").first.defaultTopic, "index.html");

    const auto topics = chm::readTopics(archive);
    std::map<std::string, std::set<std::string>> pages; // word -> pages
    for (const auto& topic : topics)
        if (topic.url.ends_with(".html"))
            for (const auto& word : plainWords(readAll(out / topic.url)))
                pages[word].insert(topic.url);
    ASSERT_GE(pages["widget"].size(), 240u);
    EXPECT_LT(pages["gear"].size(), pages["widget"].size());
    // The builder's stop list names common words ("a", "and", "its"): they are not indexed.
    std::set<std::string> stopWords;
    std::istringstream stopList(readAll(out / "widgets.stp"));
    for (std::string word; stopList >> word;)
        stopWords.insert(word);
    ASSERT_TRUE(stopWords.contains("and"));
    for (const auto& [word, where] : pages)
        EXPECT_EQ(searchPages(archive, topics, word),
                  stopWords.contains(word) ? std::set<std::string>{} : where)
            << word;
}

// The stop list's part is in the round trip below.
TEST_F(HhcTool, SearchFindsChineseWords) {
    const fs::path folder = m_work / "zh";
    writeAll(folder / "zh.hhp", "[OPTIONS]\r\nCompiled file=zh.chm\r\nDefault topic=a.htm\r\n"
                                "Full-text search=Yes\r\n"
                                "Language=0x804 Chinese (PRC)\r\nTitle=测试\r\n\r\n[FILES]\r\n"
                                "a.htm\r\nb.htm\r\nc.htm\r\n");
    // A UTF-8 page, a GBK page that says so, and a GBK page that relies on the project's code
    // page.
    writeAll(folder / "a.htm", "<html><head><title>使用搜索</title></head><body><p>在“搜索”选项卡"
                               "中输入要查找的词。The index of words.</p></body></html>");
    writeAll(folder / "b.htm", "<html><head><meta http-equiv=\"Content-Type\" "
                               "content=\"text/html; charset=gb2312\"><title>" +
                                   gbk("索引") + "</title></head><body>" +
                                   gbk("索引中的关键字，搜到") + "</body></html>");
    writeAll(folder / "c.htm",
             "<html><body>" + gbk("帮助文件：目录、索引和搜索。") + "</body></html>");
    chm::ReaderArchive archive;
    compileWithoutWarnings(folder, "zh", archive);
    const auto topics = chm::readTopics(archive);
    using Pages = std::set<std::string>;
    EXPECT_EQ(searchPages(archive, topics, "搜索"), (Pages{"a.htm", "c.htm"}));
    EXPECT_EQ(searchPages(archive, topics, "索引"), (Pages{"b.htm", "c.htm"}));
    EXPECT_EQ(searchPages(archive, topics, "搜"), (Pages{"a.htm", "b.htm", "c.htm"}));
    EXPECT_EQ(searchPages(archive, topics, "目录 搜索"), (Pages{"c.htm"}));
}

class HhcRoundTrip : public HhcTool {
protected:
    // Decompiles `chm` with hh.exe, compiles the rebuilt project with hhc.exe and decompiles
    // that again: every context id must keep its topic, every sitemap its bytes, the search
    // index its words, and the second decompile must give the sources of the first.
    void expectRoundTrip(const fs::path& chm, const std::string& label) {
        SCOPED_TRACE(label);
        const auto original = extractMspack(chm);
        const fs::path first = m_work / (label + "_first");
        const fs::path second = m_work / (label + "_second");
        ToolRun run = hh(m_work, "-decompile " + quote(first.string()) + " " + quote(chm.string()));
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_EQ(run.err, "");
        const auto sources = folderFiles(first);
        const auto project = std::find_if(sources.begin(), sources.end(),
                                          [](const auto& f) { return f.first.ends_with(".hhp"); });
        ASSERT_NE(project, sources.end());
        run = hhc(first, quote(project->first));
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_EQ(run.err, "");
        const fs::path rebuilt = first / fs::path(project->first).replace_extension(".chm");
        const auto recompiled = extractMspack(rebuilt);

        EXPECT_EQ(contextIds(recompiled), contextIds(original));
        EXPECT_EQ(indexWords(recompiled), indexWords(original));
        for (const auto& [name, data] : original)
            if (name.ends_with(".hhc") || name.ends_with(".hhk")) {
                ASSERT_EQ(recompiled.count(name), 1u) << name;
                EXPECT_TRUE(recompiled.at(name) == data) << name << " changed";
            }

        run = hh(m_work, "-decompile " + quote(second.string()) + " " + quote(rebuilt.string()));
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        const auto again = folderFiles(second);
        EXPECT_EQ(again.size(), sources.size());
        for (const auto& [name, data] : sources)
            EXPECT_TRUE(again.count(name) && again.at(name) == data) << name << " differs";
    }
};

TEST_F(HhcRoundTrip, KeepsContextIdsSitemapBytesAndSources) {
    const fs::path folder = m_work / "rt";
    writeAll(folder / "rt.hhp", "[OPTIONS]\r\nCompiled file=rt.chm\r\nContents file=toc.hhc\r\n"
                                "Index file=idx.hhk\r\nDefault topic=a.htm\r\n"
                                "Full-text search=Yes\r\nFull text search stop list file=s.stp\r\n"
                                "Language=0x804 Chinese (PRC)\r\nTitle=往返\r\n\r\n"
                                "[FILES]\r\na.htm\r\nsub/b.htm\r\n\r\n"
                                "[ALIAS]\r\nIDH_START=a.htm\r\nIDH_DETAIL=sub/b.htm\r\n"
                                "IDH_AGAIN=a.htm\r\n\r\n[MAP]\r\n#include ids.h\r\n");
    writeAll(folder / "ids.h", "#define IDH_START 100\r\n#define IDH_DETAIL 0x200\r\n"
                               "#define IDH_AGAIN 7\r\n");
    writeAll(folder / "s.stp", "the\r\nof\r\n");
    writeAll(folder / "a.htm", "<html><title>A</title><a href=\"sub/b.htm\">b</a><p>The first "
                               "page of the help, with a link to the second one.</p></html>");
    writeAll(folder / "sub/b.htm", "<html><title>B</title></html>");
    // Sitemaps saved by an editor that puts a UTF-8 byte-order mark before GBK text.
    auto item = [](const std::string& name, const std::string& local) {
        return "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" + gbk(name) +
               "\"><param name=\"Local\" value=\"" + local + "\"></OBJECT>\r\n";
    };
    const std::string bom = "\xEF\xBB\xBF";
    const std::string toc = bom + "<HTML><BODY>\r\n<UL>\r\n" + item("开始", "a.htm") +
                            item("详细说明", "sub/b.htm") + "</UL>\r\n</BODY></HTML>\r\n";
    const std::string index = bom + "<HTML><BODY>\r\n<UL>\r\n" + item("关键字", "sub/b.htm") +
                              "</UL>\r\n</BODY></HTML>\r\n";
    writeAll(folder / "toc.hhc", toc);
    writeAll(folder / "idx.hhk", index);
    const ToolRun run = hhc(folder, "rt.hhp");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "");

    // The sitemaps are stored as they are, mark included.
    const auto files = check(folder / "rt.chm", {{"toc.hhc", toc}, {"idx.hhk", index}});
    using Ids = std::vector<std::pair<std::uint32_t, std::string>>;
    EXPECT_EQ(contextIds(files), (Ids{{100, "a.htm"}, {0x200, "sub/b.htm"}, {7, "a.htm"}}));
    expectRoundTrip(folder / "rt.chm", "ours");
    // The stop list the index was made with comes back, named by the rebuilt project.
    EXPECT_EQ(readAll(m_work / "ours_first/rt.stp"), "of\r\nthe\r\n");
    EXPECT_NE(readAll(m_work / "ours_first/rt.hhp").find("stop list file=rt.stp\r\n"),
              std::string::npos);
}

TEST_F(HhcRoundTrip, MicrosoftMadeFiles) {
    const fs::path fixtures = QUORLIN_MS_FIXTURES;
    if (!fs::is_directory(fixtures))
        GTEST_SKIP() << "no help files made by Microsoft's compiler at " << fixtures;
    for (const char* name : {"help1.chm", "help2.chm"})
        if (fs::exists(fixtures / name))
            expectRoundTrip(fixtures / name, fs::path(name).stem().string());
    EXPECT_EQ(contextIds(extractMspack(fixtures / "help1.chm")).size(), 15u);
}

// One run of hhc.exe per fault: the project p.hhp, a.htm beside it and the other files named
// (relative to the project's folder), and the only line hhc.exe may print on stderr. Every
// case is reported once, in Chinese; an error ends with status 1, warnings with 0.
struct FaultCase {
    const char* label;
    std::string project; // empty: there is no project
    Files files; // "<big>": a sparse file past the size cap; "<link>x": a link to x; "<folder>"
    std::string message;
    const char* folder = ""; // of the project, in the work folder
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.label;
}

const std::string kPage = "<html><title>A</title></html>";
const std::string kOptions = "[OPTIONS]\nCompiled file=p.chm\nDefault topic=a.htm\n";
const std::string kToc = "<UL>\n<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"";

class HhcFault : public HhcTool, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(HhcFault, IsReportedOnceInChinese) {
    const FaultCase& c = GetParam();
    const fs::path folder = m_work / c.folder;
    if (!c.project.empty()) {
        writeAll(folder / "p.hhp", c.project);
        writeAll(folder / "a.htm", kPage);
    }
    for (const auto& [name, data] : c.files) {
        const fs::path path = folder / name;
        fs::create_directories(path.parent_path());
        if (data == "<big>") {
            writeAll(path, "");
            fs::resize_file(path, (std::uintmax_t{512} << 20) + 1);
        } else if (data.starts_with("<link>")) {
            fs::create_symlink(data.substr(6), path);
        } else if (data == "<folder>") {
            fs::create_directories(path);
        } else {
            writeAll(path, data);
        }
    }
    const ToolRun run = hhc(folder, "p.hhp");
    const bool error = c.message.find("错误") != std::string::npos;
    EXPECT_EQ(run.status, error ? 1 : 0) << run.out;
    EXPECT_EQ(run.err, c.message + "\n");
    // And counted once in the summary.
    EXPECT_TRUE(run.out.ends_with(error ? "编译失败：p.hhp：1 个错误，0 个警告\n" : "，1 个警告\n"))
        << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, HhcFault,
    ::testing::Values(
        FaultCase{"outsideTheProjectFolder",
                  kOptions + "[FILES]\na.htm\n../up.htm\n",
                  {{"../up.htm", kPage}},
                  "p.hhp:6: 警告：\"../up.htm\" 位于工程文件夹之外，已存为 \"up.htm\"",
                  "p"},
        FaultCase{
            "caseCollision",
            kOptions + "[FILES]\na.htm\nA.htm\n",
            {{"A.htm", kPage}},
            "p.hhp:6: 警告：\"A.htm\" 将存为 \"A.htm\"，但已有另一个文件使用这个名称，已略去"},
        // A system file claims a page's worth of bytes and yields far fewer.
        FaultCase{"unreadablePage",
                  kOptions + "[FILES]\na.htm\nodd.htm\n",
                  {{"odd.htm", "<link>/sys/kernel/address_bits"}},
                  "p.hhp:6: 警告：无法读取 \"odd.htm\""},
        FaultCase{"fileTooLarge",
                  kOptions + "[FILES]\na.htm\nbig.bin\n",
                  {{"big.bin", "<big>"}},
                  "p.hhp:6: 警告：\"big.bin\" 超过 512 MiB，已略去"},
        FaultCase{"unknownDefaultWindow",
                  kOptions + "Default Window=nowhere\n[FILES]\na.htm\n",
                  {},
                  "p.hhp: 警告：默认窗口 \"nowhere\" 没有在 [WINDOWS] 中定义"},
        FaultCase{"aliasWithoutMap",
                  kOptions + "[FILES]\na.htm\n[ALIAS]\nIDH_A=a.htm\n",
                  {},
                  "p.hhp:7: 警告：别名 \"IDH_A\" 在 [MAP] 中没有编号，已略去"},
        FaultCase{"lossyTitle",
                  kOptions + "Language=0x804\nTitle=笑脸😀\n[FILES]\na.htm\n",
                  {},
                  "p.hhp: 警告：\"笑脸😀\" 中有代码页 936 无法表示的字符"},
        FaultCase{"lossySitemapLine",
                  kOptions + "Language=0x804\nContents file=t.hhc\n[FILES]\na.htm\n",
                  {{"t.hhc", kToc + "😀\"><param name=\"Local\" value=\"a.htm\"></OBJECT>\n"}},
                  "t.hhc:2: 警告：代码页 936 无法表示的字符已存为“?”"},
        // Named by the index only: reported where it is named, not again as a lost topic.
        FaultCase{"missingIndexTarget",
                  kOptions + "Index file=i.hhk\n[FILES]\na.htm\n",
                  {{"i.hhk", kToc + "k\"><param name=\"Local\" value=\".htm\"></OBJECT>\n"}},
                  "i.hhk:2: 警告：找不到文件 \".htm\""},
        FaultCase{"outputIsAFolder",
                  kOptions + "[FILES]\na.htm\n",
                  {{"p.chm", "<folder>"}},
                  "p.hhp: 错误：编译文件 \"p.chm\" 是一个已有的文件夹"},
        FaultCase{"outputFolderMissing",
                  "[OPTIONS]\nCompiled file=no/p.chm\n[FILES]\na.htm\n",
                  {},
                  "p.hhp: 错误：编译文件 \"no/p.chm\" 所在的文件夹不存在"},
        FaultCase{"projectMissing", "", {}, "p.hhp: 错误：无法读取工程文件"}),
    [](const auto& p) { return std::string(p.param.label); });

} // namespace
