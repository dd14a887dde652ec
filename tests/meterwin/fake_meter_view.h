// A meter window without a display: records what the window's logic shows and asks, and
// answers its questions for files from a script.
#pragma once

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "meterwin/meter_view.h"

namespace wobblemeter_test {

class FakeMeterView final : public wobblemeter::MeterView {
public:
    void Show(const wobblemeter::Display& display) override { shown.push_back(display); }
    void SetControls(const wobblemeter::Controls& c) override {
        controls = c;
        ++controlUpdates;
    }
    std::optional<std::string> AskForFile(wobblemeter::FileKind kind,
                                          const std::string& suggestion) override {
        asked.push_back({kind, suggestion});
        if (answers.empty()) return std::nullopt;
        std::optional<std::string> answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<std::string> AskForText(const std::string& prompt,
                                          const std::string& suggestion) override {
        prompts.push_back({prompt, suggestion});
        if (textAnswers.empty()) return std::nullopt;
        std::optional<std::string> answer = textAnswers.front();
        textAnswers.pop_front();
        return answer;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void CopyText(const std::string& text) override { copied = text; }

    const wobblemeter::Display& Last() const { return shown.back(); }

    std::vector<wobblemeter::Display> shown;
    wobblemeter::Controls controls;
    int controlUpdates = 0;
    struct Question {
        wobblemeter::FileKind kind;
        std::string suggestion;
    };
    std::vector<Question> asked;
    // What the file dialogs answer, in turn; nothing: cancelled.
    std::deque<std::optional<std::string>> answers;
    // The questions for a line of text (prompt, suggestion) and their answers, in turn.
    std::vector<std::pair<std::string, std::string>> prompts;
    std::deque<std::optional<std::string>> textAnswers;
    std::vector<std::string> messages;
    std::string copied;
};

// The readout of that name in a display.
inline const wobblemeter::Readout& ReadoutNamed(const wobblemeter::Display& d,
                                                const std::string& name) {
    for (const wobblemeter::Readout& r : d.readouts) {
        if (r.name == name) return r;
    }
    throw std::runtime_error("no readout " + name);
}

}  // namespace wobblemeter_test
