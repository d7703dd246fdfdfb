// Decompiling into a folder: the sources come out intact, the project file names them, and
// crafted names never reach outside the output folder. How windows are written is in
// reader_settings_test.cpp.
#include "chm/reader_decompile.h"
#include "reader_fixture.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h> // POSIX only: setrlimit caps the file size a test may write

using namespace readertest;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kSampleSources = {
    "_#_README_#_", // stored by the third-party compiler that made the fixture
    "idx.hhk",      "images/logo.png", "index.htm",     "long.htm",
    "sample.hhp",   "style.css",       "sub/page2.htm", "toc.hhc"};

using Kind = chm::DecompileWarning::Kind;

std::string fileText(const fs::path& p) {
    const auto bytes = readBytes(p);
    return {bytes.begin(), bytes.end()};
}

bool warned(const chm::DecompileResult& r, Kind kind, std::string_view name) {
    return std::any_of(r.warnings.begin(), r.warnings.end(), [&](const auto& w) {
        return w.kind == kind && w.name.find(name) != std::string::npos;
    });
}

TEST(ReaderDecompile, WritesEverySourceAndAProjectThatNamesThem) {
    ScratchDir dir;
    fs::path out = dir.path() / "out folder" / "sample";
    chm::DecompileResult r = chm::decompileFile(sampleChm().string(), out.string());
    ASSERT_EQ(r.error, chm::ReadError::Ok);
    EXPECT_EQ(r.filesFailed, 0u);
    EXPECT_EQ(r.filesRefused, 0u);
    EXPECT_EQ(listFiles(out), kSampleSources);
    for (const char* name : {"index.htm", "sub/page2.htm", "long.htm", "style.css",
                             "images/logo.png", "toc.hhc", "idx.hhk"})
        EXPECT_EQ(readBytes(out / name), readBytes(fixtureDir() / "src" / name)) << name;

    std::string hhp = fileText(out / "sample.hhp");
    for (const char* line :
         {"[OPTIONS]\r\n", "Compiled file=sample.chm\r\n", "Contents file=toc.hhc\r\n",
          "Index file=idx.hhk\r\n", "Default topic=index.htm\r\n", "Default Window=main\r\n",
          "Title=Quorlin Sample\r\n", "Language=0x804 Chinese (PRC)\r\n", "Full-text search=No\r\n",
          "\r\n[FILES]\r\nindex.htm\r\nsub/page2.htm\r\nlong.htm\r\nstyle.css\r\n"
          "images/logo.png\r\n_#_README_#_\r\n"})
        EXPECT_NE(hhp.find(line), std::string::npos) << line << "\n" << hhp;
}

struct CraftedName {
    const char* label;
    const char* from;
    std::string to; // same length as `from`
    Kind kind;
};

class ReaderDecompileCrafted : public ::testing::TestWithParam<CraftedName> {};

TEST_P(ReaderDecompileCrafted, IsSkippedWithAWarningAndNothingLeavesTheFolder) {
    const CraftedName& c = GetParam();
    std::vector<std::uint8_t> bytes = readBytes(sampleChm());
    ASSERT_TRUE(renameEntry(bytes, c.from, c.to));
    ScratchDir dir;
    fs::path chmFile = dir.path() / "crafted.chm";
    writeBytes(chmFile, bytes);
    fs::path out = dir.path() / "a" / "b" / "out";
    chm::DecompileResult r = chm::decompileFile(chmFile.string(), out.string());
    ASSERT_EQ(r.error, chm::ReadError::Ok);
    EXPECT_EQ(r.filesRefused, 1u);
    EXPECT_TRUE(warned(r, c.kind, c.to.substr(0, c.to.find('\0')))) << "no warning names it";
    // Everything that was written lies in the output folder.
    std::vector<std::string> all = listFiles(dir.path());
    for (const std::string& f : all)
        EXPECT_TRUE(f == "crafted.chm" || f.rfind("a/b/out/", 0) == 0) << f;
    EXPECT_EQ(listFiles(out).size(), kSampleSources.size() - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ReaderDecompileCrafted,
    ::testing::Values(
        CraftedName{"climbs", "/index.htm", "/../up.htm", Kind::UnsafeName},
        CraftedName{"climbsWithBackslash", "/sub/page2.htm", "/..\\..\\pg2.htm", Kind::UnsafeName},
        CraftedName{"climbsFromInside", "/sub/page2.htm", "/sub/../../p.h", Kind::UnsafeName},
        CraftedName{"absolute", "/images/logo.png", "//tmp/xylogo.png", Kind::UnsafeName},
        CraftedName{"driveLetter", "/style.css", "/C:/st.css", Kind::UnsafeName},
        CraftedName{"nul", "/style.css", std::string("/sty\0e.css", 10), Kind::NameHasNul},
        CraftedName{"onlySlashes", "/toc.hhc", "/./././.", Kind::UnsafeName},
        // The first of two names that differ only in case is kept.
        CraftedName{"caseCollision", "/style.css", "/INDEX.HTM", Kind::CaseCollision}),
    [](const auto& p) { return std::string(p.param.label); });

TEST(ReaderDecompile, DoesNotFollowLinksPlantedInTheOutputFolder) {
    ScratchDir dir;
    fs::path out = dir.path() / "out";
    fs::path elsewhere = dir.path() / "elsewhere";
    fs::create_directories(out);
    fs::create_directories(elsewhere);
    fs::create_directory_symlink(elsewhere, out / "images");
    fs::create_symlink(elsewhere / "planted.htm", out / "index.htm");
    // two files in the linked folder: the second must not slip through either
    std::vector<std::uint8_t> bytes = readBytes(sampleChm());
    ASSERT_TRUE(renameEntry(bytes, "/style.css", "/images/ab"));
    writeBytes(dir.path() / "two.chm", bytes);
    chm::DecompileResult r = chm::decompileFile((dir.path() / "two.chm").string(), out.string());
    EXPECT_EQ(r.filesFailed, 3u);
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

// Partial decompiles: a file that cannot be created, or that fails while it is written, costs
// that file alone; the rest and the project are still written, and the failure is counted.
TEST(ReaderDecompile, AFileThatCannotBeCreatedCostsOnlyThatFile) {
    ScratchDir dir;
    const fs::path out = dir.path() / "out";
    fs::create_directories(out / "index.htm"); // a folder stands where the page goes
    const chm::DecompileResult r = chm::decompileFile(sampleChm().string(), out.string());
    ASSERT_EQ(r.error, chm::ReadError::Ok);
    EXPECT_EQ(r.filesFailed, 1u);
    EXPECT_EQ(r.filesWritten, kSampleSources.size() - 2); // less index.htm and the project
    EXPECT_TRUE(warned(r, Kind::CannotCreate, "index.htm"));
    EXPECT_EQ(readBytes(out / "long.htm"), readBytes(fixtureDir() / "src" / "long.htm"));
    EXPECT_EQ(r.projectFile, (out / "sample.hhp").string());
}

// Tests run as root, where permissions stop nothing: the file-size limit makes the write fail.
TEST(ReaderDecompile, AFileThatFailsWhileWrittenIsRemoved) {
    ScratchDir dir;
    const fs::path out = dir.path() / "out";
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 64 * 1024; // long.htm has 98,859 bytes, every other file under 1 KiB
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const chm::DecompileResult r = chm::decompileFile(sampleChm().string(), out.string());
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    ASSERT_EQ(r.error, chm::ReadError::Ok);
    EXPECT_EQ(r.filesFailed, 1u);
    EXPECT_TRUE(warned(r, Kind::WriteFailed, "long.htm"));
    EXPECT_FALSE(fs::exists(out / "long.htm")); // no truncated copy left behind
    EXPECT_TRUE(fs::exists(out / "index.htm"));
    EXPECT_FALSE(r.projectFile.empty());
}

// A stored source named like the project file the decompiler would write keeps its name.
TEST(ReaderDecompile, AStoredFileNamedLikeTheProjectIsKept) {
    std::vector<std::uint8_t> bytes = readBytes(sampleChm());
    ASSERT_TRUE(renameEntry(bytes, "/long.htm", "/long.hhp"));
    ScratchDir dir;
    writeBytes(dir.path() / "long.chm", bytes); // no compiled-file name: the stem is "long"
    const fs::path out = dir.path() / "out";
    const chm::DecompileResult r =
        chm::decompileFile((dir.path() / "long.chm").string(), out.string());
    ASSERT_EQ(r.error, chm::ReadError::Ok);
    EXPECT_EQ(r.filesFailed, 0u);
    EXPECT_EQ(readBytes(out / "long.hhp"), readBytes(fixtureDir() / "src" / "long.htm"));
    EXPECT_EQ(r.projectFile, (out / "long_project.hhp").string());
    EXPECT_NE(fileText(out / "long_project.hhp").find("\r\nlong.hhp\r\n"), std::string::npos);
}

TEST(ReaderDecompile, ContextIdsBecomeAliasAndAnIncludedMap) {
    // #STRINGS: offset 1 "a.htm", offset 7 "b c.htm"
    const std::string strings("\0a.htm\0b c.htm\0", 15);
    // The byte length of the pairs, then pairs of number and #STRINGS offset: (100, 1), (7, 7),
    // (100, 7), (9, 40).
    std::vector<std::uint8_t> ivb = {32, 0, 0,   0, 100, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0,  0, 7, 0,
                                     0,  0, 100, 0, 0,   0, 7, 0, 0, 0, 9, 0, 0, 0, 40, 0, 0, 0};
    const std::span<const std::uint8_t> stringBytes(
        reinterpret_cast<const std::uint8_t*>(strings.data()), strings.size());
    std::vector<chm::DecompileWarning> warnings;
    const auto ids = chm::parseContextIds(ivb, stringBytes, warnings);
    ASSERT_EQ(ids.size(), 3u); // the pair naming offset 40, past #STRINGS, is dropped
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].kind, Kind::ContextIdsDamaged);
    // A length past the data is not trusted either.
    ivb[0] = 200;
    warnings.clear();
    EXPECT_EQ(chm::parseContextIds(ivb, stringBytes, warnings).size(), 3u);
    EXPECT_EQ(warnings.size(), 1u);

    chm::ProjectSource src;
    src.system.compiledFile = "help";
    src.files = {"a.htm", "b c.htm"};
    src.contextIds = ids;
    src.takenNames = {"help.h"}; // a source of that name is not replaced
    const chm::ProjectText project = chm::buildProject(src);
    EXPECT_NE(project.text.find("\r\n[ALIAS]\r\nIDH_100=a.htm\r\nIDH_7=b c.htm\r\n"
                                "IDH_100_2=b c.htm\r\n\r\n[MAP]\r\n#include help_ids.h\r\n"),
              std::string::npos)
        << project.text;
    EXPECT_EQ(project.headerName, "help_ids.h");
    EXPECT_NE(project.headerText.find("#define IDH_100 100\r\n#define IDH_7 7\r\n"
                                      "#define IDH_100_2 100\r\n"),
              std::string::npos)
        << project.headerText;
}

// The name the help file gives itself names the project, but never a file outside the folder.
TEST(ReaderDecompile, TheProjectKeepsToTheOutputFolderWhateverTheFileCallsItself) {
    chm::ProjectSource src;
    src.fallbackName = "fallback";
    for (const auto& [named, project] : {std::pair{"Manual", "Manual.hhp"},
                                         {"../../evil", "evil.hhp"},
                                         {"/tmp/x", "x.hhp"},
                                         {"C:\\Help\\help", "help.hhp"},
                                         {"..", "fallback.hhp"},
                                         {"C:", "fallback.hhp"},
                                         {"a\x01b", "fallback.hhp"}}) {
        src.system.compiledFile = named;
        EXPECT_EQ(chm::buildProject(src).fileName, project) << named;
    }
}

TEST(ReaderDecompile, UnreadableFileGivesAnErrorAndWritesNothing) {
    ScratchDir dir;
    writeBytes(dir.path() / "bad.chm", std::vector<std::uint8_t>(300, 'Z'));
    chm::DecompileResult r =
        chm::decompileFile((dir.path() / "bad.chm").string(), (dir.path() / "o").string());
    EXPECT_EQ(r.error, chm::ReadError::NotChm);
    EXPECT_FALSE(fs::exists(dir.path() / "o"));
}

} // namespace
