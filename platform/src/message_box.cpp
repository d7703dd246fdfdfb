#include "platform/message_box.h"

#include <iostream>

namespace host {

namespace {

class ConsoleMessageBoxes : public MessageBoxes {
public:
    MessageAnswer show(const MessageRequest& request) override {
        std::cerr << request.text << '\n';
        return request.buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    }
};

MessageBoxes* g_current = nullptr;

} // namespace

MessageBoxes& messageBoxes() {
    static ConsoleMessageBoxes fallback;
    return g_current != nullptr ? *g_current : fallback;
}

template <> MessageBoxes*& Scoped<MessageBoxes>::slot() {
    return g_current;
}

void notify(const std::string& text) {
    messageBoxes().show(MessageRequest{text, MessageButtons::Ok, MessageIcon::None, {}});
}

} // namespace host
