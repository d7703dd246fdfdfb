// Our .chm files read by chmlib (extract_chmLib) and 7-Zip (7z t, 7z x) as real processes on
// temporary files, compared byte for byte. These readers are stricter than libmspack in places:
// chmlib decodes every frame to a full 32 KiB and caps a frame's compressed size; 7-Zip checks
// the PMGL free-space field, entry counts, the ResetTable and that section-1 files do not overlap.
#include "container_test_support.h"

#include <gtest/gtest.h>

namespace container_test {
namespace {

void expectExtracted(const std::filesystem::path& root,
                     const std::vector<std::pair<std::string, Bytes>>& files) {
    for (const auto& [name, data] : files) {
        const std::filesystem::path path = root / name.substr(1);
        ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
        EXPECT_TRUE(readBytes(path) == data) << name;
    }
}

class Oracle : public ::testing::TestWithParam<Sample> {
protected:
    void SetUp() override {
        for (const char* tool : {"extract_chmLib", "7z"}) {
            if (!haveProgram(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/deps installs it)";
        }
    }
};

TEST_P(Oracle, ChmlibAnd7ZipExtractEveryByte) {
    const Sample& sample = GetParam();
    ScratchDir dir;
    const auto chm = dir.path() / "sample.chm";
    writeBytes(chm, buildChm(sample.files));
    const auto log = dir.path() / "log.txt";

    ASSERT_EQ(runProgram({"extract_chmLib", chm.string(), (dir.path() / "chmlib").string()}, log),
              0)
        << readBytes(log).size();
    expectExtracted(dir.path() / "chmlib", sample.files);

    EXPECT_EQ(runProgram({"7z", "t", chm.string()}, log), 0) << "7z t failed";
    ASSERT_EQ(runProgram({"7z", "x", "-y", "-o" + (dir.path() / "7z").string(), chm.string()}, log),
              0);
    expectExtracted(dir.path() / "7z", sample.files);

    // extract_chmLib walks the listing chunks; test_chmLib finds a name through the index above
    // them (and fails on empty files).
    const auto& [name, data] = sample.files.back();
    if (!data.empty()) {
        const auto out = dir.path() / "resolved";
        ASSERT_EQ(runProgram({"test_chmLib", chm.string(), name, out.string()}, log), 0) << name;
        EXPECT_TRUE(readBytes(out) == data) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, Oracle, ::testing::ValuesIn(roundTripSamples()),
                         [](const auto& param) { return param.param.name; });

} // namespace
} // namespace container_test
