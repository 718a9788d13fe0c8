#pragma once
// A main window on a temporary installation folder, with a scripted user,
// recorders for sounds and speech, and a camera that finds what it is told.

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/MainWindow.h"
#include "app/ui/SettingsDialog.h"
#include "platform/Files.h"
#include "platform/qt/ScriptedPrompts.h"

struct RecordingSound final : SoundPlayer {
    std::vector<std::filesystem::path> played;
    void Play(const std::filesystem::path& f) override { played.push_back(f); }
};

struct VoiceCalls {
    std::vector<std::string> log;  // "rate N", "speak TEXT"
    int created = 0;
    int alive = 0;
};

struct RecordingVoice final : SpeechVoice {
    explicit RecordingVoice(VoiceCalls& c) : calls(c) { ++calls.alive; }
    ~RecordingVoice() override { --calls.alive; }
    void SetRate(int rate) override { calls.log.push_back("rate " + std::to_string(rate)); }
    void Speak(const std::string& markup) override { calls.log.push_back("speak " + markup); }
    VoiceCalls& calls;
};

struct FakeCamera final : CameraPort {
    int found = 0;   // cameras the next Connect finds
    int count = 0;
    int released = 0;
    void Connect() override { count = found; }
    void ShowProperties() override {}
    int CameraCount() const override { return count; }
    void Release() override { ++released; }
};

using TestMainForm = TMainForm;

class GuiFixture {
public:
    GuiFixture()
    {
        home = files::FromUtf8(dir.path().toStdString()) / "home";
        for (const char* f : {"模板文件", "学生信息文件", "阅卷原始文件", "原始图片", "成绩输出", "wave", "语音引擎", "帮助"})
            std::filesystem::create_directories(home / files::FromUtf8(f));
        const char* old = std::getenv("SCORIVO_HOME");
        if (old)
            oldHome_ = old;
        hadHome_ = old != nullptr;
        setenv("SCORIVO_HOME", files::ToUtf8(home).c_str(), 1);
        services.prompts = &prompts;
        services.sound = &sound;
        services.camera = &camera;
        services.createVoice = [this]() -> std::unique_ptr<SpeechVoice> {
            if (!voiceAvailable)
                return nullptr;
            ++voices.created;
            return std::make_unique<RecordingVoice>(voices);
        };
        services.sleep = [this](std::chrono::milliseconds ms) {
            voices.log.push_back("sleep " + std::to_string(ms.count()));
        };
        services.openUrl = [this](const QUrl& u) {
            opened.push_back(u.toString().toStdString());
            return desktopOpens;
        };
        services.lockFolder = dir.path() + QStringLiteral("/run");
    }
    ~GuiFixture()
    {
        if (hadHome_)
            setenv("SCORIVO_HOME", oldHome_.c_str(), 1);
        else
            unsetenv("SCORIVO_HOME");
    }

    void WriteFile(const std::string& relative, const std::string& bytes) const
    {
        std::filesystem::path p = home / files::FromUtf8(relative);
        (void)files::WriteAll(p, bytes);
    }

    // Builds the window and runs start-up; the window is shown so that tab
    // geometry and focus are real.
    TestMainForm& Start()
    {
        form = std::make_unique<TestMainForm>(services);
        started = form->FormCreate();
        form->show();
        QApplication::processEvents();
        return *form;
    }

    // Runs the settings dialog from the marking page's button; `inside`
    // drives it and must press OK or Cancel (Cancel is pressed if it forgets).
    template <class F>
    void RunSettings(F inside)
    {
        TFormYJSet* dialog = form->FormYJSet();
        QTimer::singleShot(0, dialog, [dialog, inside] {
            inside(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        form->BtnYJSetClick();
    }

    // An exam with a name, so the session can be saved as "期中数学.yj".
    void NameExam() const
    {
        (void)form->Session->exam.examName.SetUtf8("期中");
        (void)form->Session->exam.subjectName.SetUtf8("数学");
    }
    std::filesystem::path SavedFile() const { return home / files::FromUtf8("阅卷原始文件/期中数学.yj"); }
    // The exam named and a standard answer of three questions in the
    // session, not saved yet: something a save keeps or loses.
    // Marks the session changed and saves it: true when the save went through
    // without a question or a message (the window's own file).
    bool SavesWithoutAWord()
    {
        prompts.shown.clear();
        form->SetUnsavedChanges(true);
        return form->SaveRawMarkingFile() && prompts.shown.empty();
    }
    bool GiveUnsavedRecords() const
    {
        NameExam();
        if (!form->Session->session.SetStandardAnswer({"A", "B", "C"}, 4))
            return false;
        form->SetUnsavedChanges(true);
        return true;
    }

    QTemporaryDir dir;
    std::filesystem::path home;
    ScriptedPrompts prompts;
    RecordingSound sound;
    FakeCamera camera;
    VoiceCalls voices;
    bool voiceAvailable = true;
    std::vector<std::string> opened;
    bool desktopOpens = true;  // what openUrl answers
    MainServices services;
    std::unique_ptr<TestMainForm> form;
    TMainForm::StartResult started = TMainForm::StartResult::Run;

private:
    std::string oldHome_;
    bool hadHome_ = false;
};
