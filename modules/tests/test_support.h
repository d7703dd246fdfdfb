// A temporary program folder with the shipped templates, a page folder, and recording message
// boxes for the help-project routines.
#pragma once

#include "modProject.h"
#include "platform/message_box.h"
#include "recording_message_boxes.h"
#include "temp_folder.h"

#include <cctype>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

// Names a parameterised case after its label, so a failure says which case it was.
struct LabelName {
    template <class Info> std::string operator()(const Info& testInfo) const {
        std::string name = testInfo.param.label;
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    }
};

class ProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        modProject::AppFolder = m_temp.programFolder();
        modProject::CurrentProject = {};
        fs::create_directories(m_temp / "pages");
    }
    void page(const std::string& name, const std::string& content) {
        m_temp.write("pages/" + name, content);
    }
    std::string folder() const { return m_temp.str("pages") + "/"; }
    std::string readPage(const std::string& name) const { return m_temp.read("pages/" + name); }

    host::testing::TempFolder m_temp;
    host::testing::RecordingMessageBoxes m_boxes;
    host::ScopedMessageBoxes m_scope{m_boxes};
};
