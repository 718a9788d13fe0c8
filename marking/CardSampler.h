#pragma once
// The mark sampling operations that acceptance drives, in the order it calls
// them. Recognition implements them on its work images; tests script them.
// Kept free of recognition's work types so that acceptance depends on nothing
// but this interface and the plain refusal record.

#include <string>
#include <vector>

#include "recognition/Refusal.h"

struct ExamSetup;

// The three digit grids of the card header.
enum class DigitGridKind { Admission, Subject, Score };

enum class AnswersReadResult { Read, LightingFailure };

struct CardSampler {
    static constexpr int GridsOk = 1;
    static constexpr int AbNotMarked = -1;
    static constexpr int AbAmbiguous = -2;

    static constexpr int ColourUndecided = 0;
    static constexpr int ColourRed = 1;
    static constexpr int ColourGreen = 2;

    virtual ~CardSampler() = default;

    // Lays out the sampling grids and finds the AB type: GridsOk, AbNotMarked
    // or AbAmbiguous.
    virtual int BuildSamplingGrids() = 0;
    // The AB type found by BuildSamplingGrids: 0 = A, 1 = B.
    virtual int AbType() const = 0;
    virtual void DrawThumbnail() = 0;
    // Back to plain grey levels for the binarisations that follow.
    virtual void ResetGreyMode() = 0;
    // ColourUndecided, ColourRed or ColourGreen; it also becomes the grey mode.
    virtual int CardColour() = 0;
    virtual void PrepareDigitColumns(DigitGridKind grid, int columns, int rows) = 0;
    virtual void PrepareAnswerBlocks() = 0;
    // A column that holds ink but no clear choice of row: neither a digit
    // nor a blank ("not filled"), so no number passes with it.
    static constexpr char UnclearDigit = '?';
    // One character per column: the filled row's digit, " " for a column
    // without ink, or UnclearDigit.
    virtual std::string ReadDigitColumns(DigitGridKind grid, int columns, int rows) = 0;
    // The answers of the exam's questions, one text of option letters in
    // ascending order per question (exam.questionCount of them); empty when
    // unmarked.
    virtual AnswersReadResult ReadAnswers(const ExamSetup& exam, std::vector<std::string>& answers) = 0;

    // Why column `column` (0-based) of the last ReadDigitColumns holds no
    // digit; None where it does, or where the sampler cannot tell.
    virtual RefusalReason DigitColumnReason(int column) const
    {
        (void)column;
        return RefusalReason::None;
    }
    // The question and reason of the last ReadAnswers' LightingFailure; none
    // where the sampler cannot tell.
    virtual RefusalDetail AnswersRefusal() const { return {}; }
};
