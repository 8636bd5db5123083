// IPrompter: every message box and file chooser of the desktop program goes
// through this interface, so that tests answer them and nothing modal blocks
// a test run. CWxPrompter shows the toolkit's own dialogs.
//
// User-interface thread only.
#pragma once

#include <cstdint>
#include <optional>
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
    // The same, starting in `folder` with `fileName` filled in (either may
    // be empty). A prompter that does not override it ignores the two.
    virtual std::string ChooseFileToOpenIn(wxWindow* parent, const std::string& title,
                                           const std::string& filter, const std::string& folder,
                                           const std::string& fileName) {
        (void)folder;
        (void)fileName;
        return ChooseFileToOpen(parent, title, filter);
    }
    // The desktop's colour chooser showing `initial` (red in the low byte);
    // the chosen colour in the same form, nothing when the user cancels (and
    // from a prompter that does not override it).
    virtual std::optional<std::uint32_t> ChooseColor(wxWindow* parent, std::uint32_t initial) {
        (void)parent;
        (void)initial;
        return std::nullopt;
    }
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
    std::string ChooseFileToOpenIn(wxWindow* parent, const std::string& title,
                                   const std::string& filter, const std::string& folder,
                                   const std::string& fileName) override;
    std::optional<std::uint32_t> ChooseColor(wxWindow* parent, std::uint32_t initial) override;
};

// Reports a field's unacceptable value ("Please enter an integer." and the
// like) in an OK box, then returns the focus to the field with its text
// selected, so that the user can correct it at once.
void ReportFieldProblem(wxWindow* field, const std::string& message);

// The prompter the program uses; tests replace it. Never null.
IPrompter& GetPrompter();
// Installs `prompter` (null: back to the toolkit's dialogs). Not owned.
void SetPrompter(IPrompter* prompter);

}  // namespace tallyhawk
