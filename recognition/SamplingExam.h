#pragma once
// What the answer reading needs to know of the exam: how many questions,
// which are multiple choice, their full scores, and whether a subjective
// score is recorded. The exam setup fills it.

#include <array>
#include <cstdint>

#include "recognition/CardTemplate.h"

struct SamplingExam {
    int questionCount = 0;
    std::array<uint8_t, card_limits::MaxQuestions> multipleChoice{}; // 1 = multiple choice
    std::array<float, card_limits::MaxQuestions> fullScore{};
    bool hasSubjectiveScore = false;

    bool AnyMultipleChoice() const
    {
        for (int q = 0; q < questionCount && q < card_limits::MaxQuestions; ++q)
            if (multipleChoice[q])
                return true;
        return false;
    }
};
