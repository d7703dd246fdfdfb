// A message-box stand-in for tests: records every request and answers from a queue
// (Ok for OK boxes; Yes/No boxes take the next queued answer, No when the queue is empty).
// With a journal it notes each box as "ask " or "tell " and its text.
#pragma once

#include "platform/message_box.h"

#include <deque>
#include <vector>

namespace host::testing {

class RecordingMessageBoxes : public MessageBoxes {
public:
    MessageAnswer show(const MessageRequest& request) override {
        requests.push_back(request);
        const bool question = request.buttons == MessageButtons::YesNo;
        if (journal != nullptr) {
            journal->push_back((question ? "ask " : "tell ") + request.text);
        }
        if (!question) {
            return MessageAnswer::Ok;
        }
        if (answers.empty()) {
            return MessageAnswer::No;
        }
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const auto& r : requests) {
            result.push_back(r.text);
        }
        return result;
    }

    std::vector<MessageRequest> requests;
    std::deque<MessageAnswer> answers;
    std::vector<std::string>* journal = nullptr;
};

} // namespace host::testing
