// Answers a modal dialog from the event loop: once a modal window of type Dialog is up, look
// runs on it (to record what it shows) and then answer closes it.
#pragma once

#include <QApplication>
#include <QTimer>
#include <functional>

template <typename Dialog>
void answerModal(std::function<void(Dialog&)> look, std::function<void(Dialog&)> answer,
                 int attemptsLeft = 200) {
    QTimer::singleShot(10, [look, answer, attemptsLeft] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            if (attemptsLeft > 0) {
                answerModal<Dialog>(look, answer, attemptsLeft - 1);
            }
            return;
        }
        look(*dialog);
        answer(*dialog);
    });
}
