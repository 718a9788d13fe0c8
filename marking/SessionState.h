#pragma once
// Everything a marking session consists of, in one place, for the desktop
// window and the command-line tools alike. About 17.5 MB: create it with
// NewMarkingSessionState, never on the stack.

#include <memory>
#include <string>

#include "exam/ExamSetup.h"
#include "marking/MarkingSession.h"
#include "recognition/CardTemplate.h"
#include "students/Roster.h"

struct MarkingSessionState {
    std::string templateName;  // UTF-8 file name of the card template in "模板文件/"
    CardTemplate cardTemplate;
    StudentRoster roster;
    ExamSetup exam;
    MarkingSession session;
    bool unsavedChanges;  // the enabled state of the save button
    bool openedFromFile;  // the session came from a marking raw file
};

// A fresh state: template and exam zero, roster reset, no records.
std::unique_ptr<MarkingSessionState> NewMarkingSessionState();

// Starts a new marking session: exam record zeroed, store cleared, nothing
// unsaved. Template and roster stay.
void StartNewSession(MarkingSessionState& state);
