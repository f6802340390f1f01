#pragma once
#include <deque>
#include <vector>

#include "platform/ui/MessageBox.h"

namespace plat {

// A message-box sink for tests: records every request and answers from a queue of scripted
// button ids, then with the default answer. Installs itself on construction and restores the
// previous sink on destruction.
class RecordingMessageBoxSink final : public MessageBoxSink {
public:
    explicit RecordingMessageBoxSink(int defaultAnswer = kIdOk)
        : defaultAnswer_(defaultAnswer), previous_(SetMessageBoxSinkForTests(this)) {}
    ~RecordingMessageBoxSink() override { SetMessageBoxSinkForTests(previous_); }
    RecordingMessageBoxSink(const RecordingMessageBoxSink&) = delete;
    RecordingMessageBoxSink& operator=(const RecordingMessageBoxSink&) = delete;

    void QueueAnswer(int id) { answers_.push_back(id); }
    const std::vector<MessageBoxRequest>& Requests() const { return requests_; }
    void Clear() { requests_.clear(); }

    int Show(const MessageBoxRequest& request) override {
        requests_.push_back(request);
        if (answers_.empty()) {
            return defaultAnswer_;
        }
        int id = answers_.front();
        answers_.pop_front();
        return id;
    }

private:
    int defaultAnswer_;
    MessageBoxSink* previous_;
    std::deque<int> answers_;
    std::vector<MessageBoxRequest> requests_;
};

} // namespace plat
