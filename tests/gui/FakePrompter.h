// A prompter for tests in real windows: no message box or file chooser ever
// shows; answers come from queues and every text is recorded.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "dialogs/Prompter.h"

namespace tallyhawk::test {

// Answers questions from a queue (Ok when empty) and records every text.
class CFakePrompter : public IPrompter {
public:
    PromptAnswer Ask(wxWindow*, const std::string& text, PromptButtons) override {
        questions.push_back(text);
        if (answers.empty()) return PromptAnswer::Ok;
        PromptAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Tell(wxWindow*, const std::string& text, bool isError) override {
        (isError ? errors : messages).push_back(text);
    }
    std::string ChooseFileToSave(wxWindow*, const std::string&, const std::string& defaultName,
                                 const std::string& filter) override {
        defaultNames.push_back(defaultName);
        filters.push_back(filter);
        return NextPath();
    }
    std::string ChooseFileToOpen(wxWindow*, const std::string&, const std::string& filter) override {
        filters.push_back(filter);
        return NextPath();
    }
    std::string NextPath() {
        if (paths.empty()) return {};
        std::string path = paths.front();
        paths.pop_front();
        return path;
    }

    std::deque<PromptAnswer> answers;
    std::deque<std::string> paths;
    std::vector<std::string> questions, errors, messages, filters, defaultNames;
};

}  // namespace tallyhawk::test
