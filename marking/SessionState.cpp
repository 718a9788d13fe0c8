#include "marking/SessionState.h"

std::unique_ptr<MarkingSessionState> NewMarkingSessionState()
{
    auto state = std::make_unique<MarkingSessionState>();  // value-initialised: all zero
    state->cardTemplate.Clear();
    state->roster.Reset();
    StartNewSession(*state);
    return state;
}

void StartNewSession(MarkingSessionState& state)
{
    state.exam.Clear();
    state.session.ClearSession();
    state.unsavedChanges = false;
    state.openedFromFile = false;
}
