// Members of the pages 3 to 6 that their own subsystems take over: each
// subsystem moves its members from here into its ui/ folder when its page
// lands. Until then the pages are empty frames and the wizard moves through
// them with the checks that need no page content.
#include <QPushButton>

#include "app/ui/Unit1.h"
#include "students/StudentFile.h"
#include "platform/qt/Prompts.h"

void TMainForm::BuildStudentPage(QFrame*) {}
void TMainForm::BuildExamPage(QFrame*) {}
void TMainForm::BuildMarkingPage(QFrame*, QFrame*) {}
void TMainForm::BuildOutputPage(QFrame*) {}

void TMainForm::PrepareStudentPage() {}
void TMainForm::PrepareExamPage() {}
void TMainForm::PrepareMarkingPage()
{
    SessionStarted = 1;
}
void TMainForm::PrepareOutputPage() {}

// The exam page's own check joins here with the page.
bool TMainForm::CheckExamPage()
{
    return true;
}

// The student list starts again from the file used last (or the default
// "测试.xs"); the student page shows which one when it lands.
void TMainForm::ResetSessionForNewMarking()
{
    Session->roster.Reset();
    (void)LoadStartRoster(ProgramFolder, Session->roster);
}

// After a marking raw file was opened: the pages show the restored session.
void TMainForm::ShowOpenedSession() {}

bool TMainForm::CheckStudentPage()
{
    if (Session->roster.studentCount == 0) {
        Ask().ShowMessage("请先输入学生数据或打开学生信息文件！");
        return false;
    }
    return true;
}

void TMainForm::LayOutPreview() {}

void TMainForm::BtnNext3Click()
{
    if (!CheckStudentPage())
        return;
    SetActivePage(4);
    PrepareExamPage();
}
