// What the interaction listener hands to the client, kept for a test or a benchmark that
// plays the client: the in-process delivery procedure appends each message, and `next`
// waits (bounded) for the message of a given index. Deliveries come from the thread that
// runs the operation, reads from the one that answers.
#ifndef VDWEB_TESTS_E2E_QUESTION_INBOX_H
#define VDWEB_TESTS_E2E_QUESTION_INBOX_H

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

class QuestionInbox {
public:
    // For ireq_listener_start(&QuestionInbox::deliver, &inbox).
    static int deliver(const char* text, void* inbox) {
        auto* self = static_cast<QuestionInbox*>(inbox);
        std::lock_guard<std::mutex> lock(self->m_);
        self->texts_.push_back(text);
        return 1;
    }
    // The message of `index` (from 0), or "" when none came within `limit`.
    std::string next(size_t index, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m_);
                if (texts_.size() > index) return texts_[index];
            }
            if (std::chrono::steady_clock::now() >= deadline) return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

private:
    std::mutex m_;
    std::vector<std::string> texts_;
};

}  // namespace e2e

#endif
