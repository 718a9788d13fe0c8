#pragma once
// The rules of a typed standard answer: the dialog's text cut into one answer
// per question and checked against the exam's question kinds and count, and
// the key rule of a standard-answer cell of the marking grid, which keeps an
// answer in strictly ascending letter order.

#include <string>
#include <string_view>
#include <vector>

struct CardTemplate;
struct ExamSetup;

// Answers in order, cut at spaces, carriage returns and line feeds; runs of
// separators count as one.
std::vector<std::string> SplitStandardAnswer(std::string_view text);

// Empty when the typed answers (GBK bytes) fit the exam, otherwise the
// message of the first fault (UTF-8): a single-choice answer of more than one
// letter, a multiple-choice answer not in strictly ascending order, an answer
// too long to store, or a count that differs from the exam's.
std::string CheckStandardAnswerInput(std::string_view text, const ExamSetup& exam);

// The most options any question of the card has: its default and those of
// its block overrides, within 1..10.
int LargestOptionCount(const CardTemplate& t);

// Whether typing `letter` into a standard-answer cell holding `text`, with
// the selection [selectionStart, selectionStart + selectionLength) or, when
// nothing is selected, the caret at `caret`, keeps the answer valid: a
// single-choice cell takes a letter only when empty or over a selection; a
// multiple-choice cell only where the letter falls strictly between its
// neighbours.
bool StandardAnswerKeyFits(std::string_view text, int selectionStart, int selectionLength, int caret, char letter,
                           bool multipleChoice);
