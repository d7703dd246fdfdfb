// A message-box stand-in for tests: records every request and answers from a queue
// (Ok for OK boxes; Yes/No boxes take the next queued answer, No when the queue is empty).
#pragma once

#include "platform/message_box.h"

#include <deque>
#include <vector>

namespace host::testing {

class RecordingMessageBoxes : public MessageBoxes {
public:
    MessageAnswer show(const MessageRequest& request) override {
        requests.push_back(request);
        if (request.buttons == MessageButtons::Ok) {
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
};

} // namespace host::testing
