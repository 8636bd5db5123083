// IPrompter: every message box and file chooser of the desktop program goes
// through this interface, so that tests answer them and nothing modal blocks
// a test run. CWxPrompter shows the toolkit's own dialogs.
//
// User-interface thread only.
#pragma once

#include <string>

class wxWindow;

namespace tallyhawk {

// The answers of Ask.
enum class PromptAnswer { Ok, Cancel, Yes, No };

// The buttons of Ask.
enum class PromptButtons { OkCancel, YesNoCancel, YesNo };

class IPrompter {
public:
    virtual ~IPrompter() = default;
    // A question with the given buttons.
    virtual PromptAnswer Ask(wxWindow* parent, const std::string& text, PromptButtons buttons) = 0;
    // A message with an OK button (errors, information).
    virtual void Tell(wxWindow* parent, const std::string& text, bool isError) = 0;
    // The desktop's file chooser; an empty string when the user cancels.
    // `filter` is in the toolkit's wildcard form ("Text Files (*.txt)|*.txt|...").
    virtual std::string ChooseFileToSave(wxWindow* parent, const std::string& title,
                                         const std::string& defaultName,
                                         const std::string& filter) = 0;
    virtual std::string ChooseFileToOpen(wxWindow* parent, const std::string& title,
                                         const std::string& filter) = 0;
};

class CWxPrompter : public IPrompter {
public:
    PromptAnswer Ask(wxWindow* parent, const std::string& text, PromptButtons buttons) override;
    void Tell(wxWindow* parent, const std::string& text, bool isError) override;
    std::string ChooseFileToSave(wxWindow* parent, const std::string& title,
                                 const std::string& defaultName,
                                 const std::string& filter) override;
    std::string ChooseFileToOpen(wxWindow* parent, const std::string& title,
                                 const std::string& filter) override;
};

// The prompter the program uses; tests replace it. Never null.
IPrompter& GetPrompter();
// Installs `prompter` (null: back to the toolkit's dialogs). Not owned.
void SetPrompter(IPrompter* prompter);

}  // namespace tallyhawk
