#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "marking/MarkingSession.h"

namespace {

MarkingRecord Student(const char* admission, const char* grade, const char* cls)
{
    MarkingRecord r{};
    r.readCount = 1;
    (void)r.admissionNumber.Set(admission);
    (void)r.gradeCode.Set(grade);
    (void)r.classCode.Set(cls);
    return r;
}

bool IsZero(const MarkingRecord& r)
{
    static const MarkingRecord zero{};
    return std::memcmp(&r, &zero, sizeof r) == 0;
}

class MarkingStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        s = std::make_unique<MarkingSession>();
        s->ClearSession();
    }
    // Standard answer, then students 1..n with classes alternating 01 / 02.
    void Fill(int students)
    {
        ASSERT_TRUE(s->SetStandardAnswer({"A", "BC"}, 5));
        for (int i = 1; i <= students; ++i) {
            std::string id = std::to_string(1000 + i);
            ASSERT_TRUE(s->AppendRecord(Student(id.c_str(), "20231", i % 2 ? "01" : "02")));
        }
    }
    std::unique_ptr<MarkingSession> s;
};

TEST_F(MarkingStoreTest, StandardAnswerTyped)
{
    ASSERT_TRUE(s->SetStandardAnswer({"A", "BC", "", "ABCDEFGHI"}, 9));
    EXPECT_EQ(s->recordCount, 1);
    const MarkingRecord& r = s->records[0];
    EXPECT_EQ(r.readCount, 0);
    EXPECT_EQ(r.admissionNumber.View(), "         ");
    EXPECT_EQ(r.questionResults[1].answer.View(), "BC");
    EXPECT_EQ(r.questionResults[3].answer.View(), "ABCDEFGHI");
    EXPECT_EQ(s->FindRecord("         "), 0);

    std::string error;
    EXPECT_FALSE(s->SetStandardAnswer({"A"}, 9, &error));  // only offered in an empty session
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(s->SetStandardAnswerCell(1, "ABCDEFGHIJ", &error));
    EXPECT_EQ(error, marking_messages::AnswerTooLong);
    EXPECT_EQ(r.questionResults[1].answer.View(), "BC");
    EXPECT_TRUE(s->SetStandardAnswerCell(1, "D"));
    EXPECT_EQ(r.questionResults[1].answer.View(), "D");
    EXPECT_FALSE(s->SetStandardAnswerCell(200, "A"));

    s->ClearSession();
    EXPECT_FALSE(s->SetStandardAnswer({"ABCDEFGHIJ"}, 9, &error));
    EXPECT_EQ(s->recordCount, 0);
    EXPECT_FALSE(s->SetStandardAnswerCell(0, "A"));  // no record 0 yet
}

TEST_F(MarkingStoreTest, AppendFindReplace)
{
    Fill(3);
    EXPECT_EQ(s->recordCount, 4);
    EXPECT_EQ(s->FindRecord("1002"), 2);
    EXPECT_EQ(s->FindRecord("1002", 3), -1);
    EXPECT_EQ(s->FindRecord("100"), -1);  // exact comparison, no prefix match
    MarkingRecord reread = s->records[2];
    reread.readCount = 2;
    ASSERT_TRUE(s->ReplaceRecord(2, reread));
    EXPECT_EQ(s->records[2].readCount, 2);
    EXPECT_FALSE(s->ReplaceRecord(4, reread));

    // An answer of ten letters has no room for its terminator.
    MarkingRecord bad = Student("2000", "20231", "01");
    std::memcpy(bad.questionResults[7].answer.bytes, "ABCDEFGHIJ", 10);
    std::string error;
    EXPECT_FALSE(s->AppendRecord(bad, &error));
    EXPECT_EQ(error, marking_messages::AnswerTooLong);
    EXPECT_FALSE(s->ReplaceRecord(1, bad));
    EXPECT_EQ(s->recordCount, 4);
    EXPECT_EQ(s->records[1].admissionNumber.View(), "1001");
}

TEST_F(MarkingStoreTest, The5001stRecordIsRefused)
{
    Fill(MarkingSession::MaxRecords - 1);
    EXPECT_EQ(s->recordCount, 5000);
    std::string error;
    EXPECT_FALSE(s->AppendRecord(Student("9999", "20231", "01"), &error));
    EXPECT_EQ(error, marking_messages::StoreFull);
    EXPECT_EQ(s->recordCount, 5000);
    EXPECT_EQ(s->FindRecord("9999"), -1);
}

TEST_F(MarkingStoreTest, FilteredDeletionKeepsRecordZeroAndTheOrder)
{
    Fill(6);
    // Record 0 matches the class too: it must survive.
    (void)s->records[0].classCode.Set("01");
    EXPECT_EQ(s->DeleteFilteredRecords(std::nullopt, std::string_view("01")), 3);
    ASSERT_EQ(s->recordCount, 4);
    EXPECT_EQ(s->records[0].admissionNumber.View(), "     ");
    EXPECT_EQ(s->records[1].admissionNumber.View(), "1002");
    EXPECT_EQ(s->records[2].admissionNumber.View(), "1004");
    EXPECT_EQ(s->records[3].admissionNumber.View(), "1006");
    for (int i = 4; i < 7; ++i)
        EXPECT_TRUE(IsZero(s->records[i])) << i;

    EXPECT_EQ(s->DeleteFilteredRecords(std::string_view("other"), std::nullopt), 0);
    EXPECT_EQ(s->DeleteFilteredRecords(std::string_view("20231"), std::nullopt), 3);
    EXPECT_EQ(s->recordCount, 1);
}

TEST_F(MarkingStoreTest, DeletingKeepsOrderAndZeroesTheFreedSlot)
{
    Fill(3);
    ASSERT_TRUE(s->DeleteRecord(1));
    EXPECT_EQ(s->recordCount, 3);
    EXPECT_EQ(s->records[1].admissionNumber.View(), "1002");
    EXPECT_EQ(s->records[2].admissionNumber.View(), "1003");
    EXPECT_TRUE(IsZero(s->records[3]));
    ASSERT_TRUE(s->DeleteRecord(2));  // the last one
    EXPECT_TRUE(IsZero(s->records[2]));
    EXPECT_FALSE(s->DeleteRecord(2));
    EXPECT_FALSE(s->DeleteRecord(-1));

    MarkingRecord small{};
    (void)small.admissionNumber.Set("77");
    ASSERT_TRUE(s->AppendRecord(small));
    EXPECT_EQ(s->records[2].studentName.View(), "");  // nothing left over from the deleted record
    EXPECT_EQ(s->records[2].gradeCode.View(), "");
}

TEST_F(MarkingStoreTest, ClearSessionZeroesEverything)
{
    Fill(2);
    (void)s->gradeFilter.Set("20231");
    (void)s->classFilter.Set("ALL");
    s->rescorePending = true;
    s->ClearSession();
    EXPECT_EQ(s->recordCount, 0);
    EXPECT_TRUE(s->gradeFilter.Empty());
    EXPECT_TRUE(s->classFilter.Empty());
    EXPECT_FALSE(s->rescorePending);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(IsZero(s->records[i]));

    // After appends, a delete from the middle and one of the last record,
    // clearing leaves no slot with anything in it.
    Fill(5);
    ASSERT_TRUE(s->DeleteRecord(2));
    ASSERT_TRUE(s->DeleteRecord(s->recordCount - 1));
    ASSERT_TRUE(s->AppendRecord(Student("2001", "20231", "03")));
    s->ClearSession();
    int dirty = 0;
    for (int i = 0; i < MarkingSession::MaxRecords; ++i)
        dirty += !IsZero(s->records[i]);
    EXPECT_EQ(dirty, 0);
}

} // namespace
