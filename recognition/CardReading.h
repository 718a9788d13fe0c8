#pragma once
// What recognition reads from one card: the staging reading that
// acceptance checks and stores. Zeroed at the start of every attempt.

#include <cstdint>
#include <cstring>

#include "platform/Gbk.h"
#include "recognition/CardTemplate.h"

struct CardReading {
    int32_t abType;               // 0 = A, 1 = B
    GbkText<21> admissionNumber;  // one digit or " " per column
    GbkText<3> subjectCode;
    float subjectiveScore;
    // Option letters "A" + index; room for all ten letters of a multiple
    // choice question with every option marked.
    GbkText<11> answers[card_limits::MaxQuestions];

    void Clear() { std::memset(this, 0, sizeof *this); }
};
