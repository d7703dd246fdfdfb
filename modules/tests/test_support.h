// A temporary program folder with the shipped templates, a page folder, recording message
// boxes, and helpers to lay out pages and read files back.
#pragma once

#include "modProject.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "recording_message_boxes.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

// Names a parameterised case after its label, so a failure says which case it was.
struct LabelName {
    template <class Info> std::string operator()(const Info& testInfo) const {
        std::string name = testInfo.param.label;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) {
                ch = '_';
            }
        }
        return name;
    }
};

class ProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_root = fs::temp_directory_path() /
                 (std::string("quorlin-mp-") + info->test_suite_name() + "-" + info->name());
        fs::remove_all(m_root);
        fs::create_directories(m_root / "app");
        fs::create_directories(m_root / "pages");
        const char* source = std::getenv("QUORLIN_SOURCE_DIR");
        ASSERT_NE(source, nullptr) << "QUORLIN_SOURCE_DIR is not set";
        fs::copy_file(fs::path(source) / "data" / "chm_dll0.dll", m_root / "app" / "chm_dll0.dll");
        fs::copy_file(fs::path(source) / "data" / "chm_dll1.dll", m_root / "app" / "chm_dll1.dll");
        modProject::AppFolder = (m_root / "app").string() + "/";
        modProject::CurrentProject = {};
        m_scope = std::make_unique<host::ScopedMessageBoxes>(m_boxes);
    }
    void TearDown() override {
        m_scope.reset();
        fs::remove_all(m_root);
    }

    void page(const std::string& name, const std::string& content) {
        fs::create_directories((m_root / "pages" / name).parent_path());
        std::ofstream(m_root / "pages" / name, std::ios::binary) << content;
    }
    std::string folder() const { return (m_root / "pages").string() + "/"; }
    std::string read(const fs::path& p) const {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    std::string readPage(const std::string& name) const { return read(m_root / "pages" / name); }
    std::string templateLine(int n) const {
        const std::string all = read(m_root / "app" / "chm_dll0.dll");
        std::size_t pos = 0;
        for (int i = 1; i < n; ++i) {
            pos = all.find("\r\n", pos) + 2;
        }
        return all.substr(pos, all.find("\r\n", pos) - pos);
    }
    std::string templateLines(int from, int to) const {
        std::string result;
        for (int n = from; n <= to; ++n) {
            result += templateLine(n) + "\r\n";
        }
        return result;
    }

    fs::path m_root;
    host::testing::RecordingMessageBoxes m_boxes;
    std::unique_ptr<host::ScopedMessageBoxes> m_scope;
};
