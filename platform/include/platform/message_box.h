// Message boxes behind an interface, so logic can ask the user and tests can answer.
#pragma once

#include "platform/scoped.h"

#include <string>

namespace host {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Question };
enum class MessageAnswer { Ok, Yes, No };

struct MessageRequest {
    std::string text;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
    std::string title; // empty: the application's title
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MessageAnswer show(const MessageRequest& request) = 0;
};

// The message boxes in force; until a window layer installs its own, a silent one that
// answers Ok/No and writes the text to standard error.
MessageBoxes& messageBoxes();

template <> MessageBoxes*& Scoped<MessageBoxes>::slot();
using ScopedMessageBoxes = Scoped<MessageBoxes>;

// Shorthand for a notice: OK button, no icon, the application's title.
void notify(const std::string& text);

} // namespace host
