// Runs the readers' fuzz entry over mutations of valid files with a fixed
// seed, so every test run (and the sanitizer build) exercises corrupt input.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "marking/RawFile.h"
#include "marking/SessionState.h"
#include "recognition/CardTemplate.h"
#include "students/StudentFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

std::string Seed(int which)
{
    std::string body;
    if (which == 0) {
        auto r = std::make_unique<StudentRoster>();
        r->Reset();
        for (int i = 0; i < 4; ++i) {
            StudentEntry s{};
            s.admissionNumber.SetTruncated("12345678" + std::to_string(i));
            s.name.SetUtf8Truncated("学生");
            EXPECT_TRUE(r->AppendStudent(s));
        }
        body = EncodeStudentFile(*r);
    } else if (which == 1) {
        CardTemplate t;
        t.Clear();
        t.LineLength = t.LineDistance = 20;
        t.CellWidth = t.CellHeight = 1;
        t.QuestionCount = 30;
        t.DefaultOptions = 4;
        t.Sec1Columns = 3;
        t.Sec1Rows = 2;
        t.Sec2Columns = 3;
        t.BlockColPitch = 5;
        t.BlockRowPitch = 6;
        body.assign(reinterpret_cast<const char*>(&t), sizeof t);
    } else if (which == 3) {
        auto state = NewMarkingSessionState();
        state->roster.Reset();
        state->session.recordCount = 2;
        state->session.records[1].readCount = 1;
        body = EncodeMarkingFile(state->roster, state->exam, state->session);
    } else {
        body = std::string("\1\0\x20\x03\0\0\0\0\0\x40\1\0\0\0\7\0\0\0", 18);
    }
    return std::string(1, static_cast<char>(which)) + body;
}

} // namespace

TEST(FuzzReplay, ReadersSurviveMutatedFiles)
{
    std::mt19937 rng(20261207);
    for (int which = 0; which < 4; ++which) {
        const std::string seed = Seed(which);
        for (int round = 0; round < (which == 3 ? 60 : 300); ++round) {
            std::string input = seed;
            int edits = 1 + static_cast<int>(rng() % 8);
            for (int e = 0; e < edits; ++e) {
                std::size_t pos = 1 + rng() % (input.size() - 1);
                switch (rng() % 4) {
                case 0:
                    input[pos] = static_cast<char>(rng());
                    break;
                case 1:
                    input.resize(std::max<std::size_t>(2, pos));  // truncate
                    break;
                case 2: {  // a count field set to something large or negative
                    int32_t v = static_cast<int32_t>(rng());
                    if (pos + 4 <= input.size())
                        std::memcpy(input.data() + pos, &v, 4);
                    break;
                }
                default:
                    input.insert(pos, std::string(rng() % 16, static_cast<char>(rng())));
                }
                if (input.size() < 2)
                    break;
            }
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        }
    }
}
