#pragma once
// The questions and notices the program puts to the user, without Qt, so the
// core (card acceptance, file checks) can ask through the same seam as the
// window. Texts are UTF-8; every box is captioned "Scorivo".

#include <string>

enum class PromptAnswer { Ok, Cancel, Yes, No };

class PromptsCore {
public:
    virtual ~PromptsCore() = default;

    // A plain notice with an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // True for OK.
    virtual bool AskOkCancel(const std::string& text) = 0;
    // True for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    // Yes, No or Cancel (closing the box counts as Cancel).
    virtual PromptAnswer AskYesNoCancel(const std::string& text) = 0;
};
