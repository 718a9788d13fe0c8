#pragma once
// The two ways acceptance talks to the user besides its status texts: a plain
// notice and an OK/Cancel question (captioned "Scorivo"). The desktop answers
// them with message boxes, the command line and the tests with scripts.

#include <string>

struct AcceptancePrompts {
    virtual ~AcceptancePrompts() = default;
    // A notice with an OK button (UTF-8).
    virtual void ShowMessage(const std::string& utf8) = 0;
    // True for OK, false for Cancel (UTF-8).
    virtual bool AskOkCancel(const std::string& utf8) = 0;
};
