// A temporary program folder with the shipped templates, a page folder, and stand-ins for the
// message boxes, the file system and the tools, which note what they do in one journal.
#pragma once

#include "faulty_file_system.h"
#include "modProject.h"
#include "platform/message_box.h"
#include "platform/services.h"
#include "recording_message_boxes.h"
#include "recording_services.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

class ProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        modProject::AppFolder = m_temp.programFolder();
        modProject::CurrentProject = {};
        fs::create_directories(m_temp / "pages");
        m_files.journal = m_boxes.journal = m_tools.journal = &m_journal;
    }
    void page(const std::string& name, const std::string& content) {
        m_temp.write("pages/" + name, content);
    }
    std::string folder() const { return m_temp.str("pages") + "/"; }
    std::string readPage(const std::string& name) const { return m_temp.read("pages/" + name); }
    // The journal with the test's folder left out of every path.
    Strings journal() const {
        Strings entries = m_journal;
        for (std::string& entry : entries) {
            for (std::size_t at; (at = entry.find(m_temp.str() + "/")) != std::string::npos;) {
                entry.erase(at, m_temp.str().size() + 1);
            }
        }
        return entries;
    }

    host::testing::TempFolder m_temp;
    Strings m_journal;
    host::testing::RecordingMessageBoxes m_boxes;
    host::testing::FaultyFileSystem m_files;
    host::testing::RecordingToolRunner m_tools;
    host::ScopedMessageBoxes m_scope{m_boxes};
    host::ScopedFileSystem m_filesInForce{m_files};
    host::ScopedServices m_toolsInForce{&m_tools, nullptr, nullptr};
};
