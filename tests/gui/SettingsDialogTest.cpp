#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "GuiTestSupport.h"

namespace {

std::string SettingsBytes(uint8_t voice, uint8_t ignoreSubject, int32_t delay, float tolerance, int32_t pictures,
                          int32_t rate, std::size_t size)
{
    std::string b(18, '\0');
    b[0] = static_cast<char>(voice);
    b[1] = static_cast<char>(ignoreSubject);
    std::memcpy(&b[2], &delay, 4);
    std::memcpy(&b[6], &tolerance, 4);
    std::memcpy(&b[10], &pictures, 4);
    std::memcpy(&b[14], &rate, 4);
    return b.substr(0, size);
}

std::string ReadSettingsFile(const GuiFixture& fx)
{
    return files::ReadAll(fx.home / "YJSet.dat").value_or("");
}

TEST(SettingsDialog, WithoutAFileShowsTheDefaults)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    bool ran = false;
    fx.RunSettings([&](TFormYJSet& d) {
        ran = true;
        EXPECT_EQ(d.windowTitle(), QStringLiteral("阅卷设置"));
        EXPECT_TRUE(d.RBSpeed1->isChecked());
        EXPECT_FALSE(d.CBYuYin->isChecked());
        EXPECT_EQ(d.TBSpeed->value(), 4);
        EXPECT_EQ(d.TBSpeed->minimum(), 1);
        EXPECT_EQ(d.TBSpeed->maximum(), 10);
        EXPECT_FALSE(d.CBISavePicture->isChecked());
        EXPECT_FALSE(d.CBIgnoreKeMuJC->isChecked());
        EXPECT_FALSE(d.CBIgnoreJDKColor->isChecked());
        EXPECT_EQ(d.Settled, 0);
        d.BtnCancel->click();
    });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(std::filesystem::exists(fx.home / "YJSet.dat"));
    EXPECT_EQ(f.FormYJSet()->Settled, 0);
}

TEST(SettingsDialog, FourteenByteFileKeepsRateAndIsRewrittenWhole)
{
    GuiFixture fx;
    fx.WriteFile("YJSet.dat", SettingsBytes(0, 1, 1500, 1.5f, 1, 9, 14));
    TestMainForm& f = fx.Start();
    EXPECT_EQ(f.YJSet.SpeechRate, 4);
    EXPECT_EQ(f.YJSet.SavePictures, 1);
    EXPECT_EQ(f.YJSet.IgnoreSubjectCheck, 1);
    fx.RunSettings([&](TFormYJSet& d) {
        EXPECT_TRUE(d.RBSpeed2->isChecked());
        EXPECT_TRUE(d.CBISavePicture->isChecked());
        EXPECT_TRUE(d.CBIgnoreKeMuJC->isChecked());
        d.BtnOK->click();
    });
    EXPECT_EQ(f.FormYJSet()->Settled, 1);
    EXPECT_EQ(ReadSettingsFile(fx), SettingsBytes(0, 1, 1500, 1.5f, 1, 4, 18));
}

TEST(SettingsDialog, OkStoresEveryChoice)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    fx.prompts.Answer(PromptAnswer::Ok);
    fx.RunSettings([&](TFormYJSet& d) {
        QTest::mouseClick(d.CBYuYin, Qt::LeftButton);
        d.TBSpeed->setValue(7);
        d.CBIgnoreKeMuJC->setChecked(true);
        d.RBSpeed3->setChecked(true);
        d.CBISavePicture->setChecked(true);
        d.BtnOK->click();
    });
    EXPECT_EQ(ReadSettingsFile(fx), SettingsBytes(1, 1, 800, 2.0f, 1, 7, 18));
    EXPECT_EQ(f.YJSet.AutoDelay, 800);
    EXPECT_FLOAT_EQ(f.YJSet.AutoTolerance, 2.0f);
    ASSERT_NE(f.Voice, nullptr);  // speech switched on: the voice is made at once
    EXPECT_EQ(fx.voices.created, 1);
}

TEST(SettingsDialog, TickingSpeechWarnsFirstUntickingDoesNot)
{
    GuiFixture fx;
    fx.Start();
    std::vector<std::string> seen;
    bool tickedAfterWarning = false;
    fx.RunSettings([&](TFormYJSet& d) {
        QTest::mouseClick(d.CBYuYin, Qt::LeftButton);
        tickedAfterWarning = d.CBYuYin->isChecked();
        seen = fx.prompts.Texts();
        QTest::mouseClick(d.CBYuYin, Qt::LeftButton);
        EXPECT_FALSE(d.CBYuYin->isChecked());
        d.BtnCancel->click();
    });
    EXPECT_TRUE(tickedAfterWarning);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].rfind("语音提示需要语音引擎支持。选中此选项后如果发现没有语音或只能报数字和英文,不能报中文姓名,"
                            "请到软件安装目录的语音引擎文件夹(可以通过菜单 文件-浏览 语音引擎 文件夹 打开)下安装语音引擎。",
                            0),
              0u);
    EXPECT_EQ(fx.prompts.shown.size(), 1u);
}

TEST(SettingsDialog, CancelChangesNothingButStillMakesTheVoiceAskedFor)
{
    GuiFixture fx;
    const std::string stored = SettingsBytes(1, 0, 2000, 1.0f, 0, 3, 18);
    fx.WriteFile("YJSet.dat", stored);
    fx.voiceAvailable = false;  // the voice cannot be made at start-up
    TestMainForm& f = fx.Start();
    EXPECT_EQ(f.Voice, nullptr);
    EXPECT_EQ(fx.prompts.Texts(), (std::vector<std::string>{"创建语音播报对象失败,无法使用语音播报功能"}));
    fx.voiceAvailable = true;
    const MarkingSettings before = f.YJSet;
    fx.RunSettings([&](TFormYJSet& d) {
        QTest::mouseClick(d.CBYuYin, Qt::LeftButton);  // untick
        d.TBSpeed->setValue(10);
        d.CBIgnoreKeMuJC->setChecked(true);
        d.CBIgnoreJDKColor->setChecked(true);
        d.RBSpeed3->setChecked(true);
        d.CBISavePicture->setChecked(true);
        d.BtnCancel->click();
    });
    EXPECT_EQ(std::memcmp(&before, &f.YJSet, sizeof before), 0);
    EXPECT_EQ(ReadSettingsFile(fx), stored);
    EXPECT_EQ(f.CheckCardColour, 1);
    EXPECT_NE(f.Voice, nullptr);
}

TEST(SettingsDialog, UnknownDelaySelectsNoSpeedAndOkKeepsIt)
{
    GuiFixture fx;
    fx.WriteFile("YJSet.dat", SettingsBytes(0, 0, 1000, 1.25f, 0, 4, 18));
    TestMainForm& f = fx.Start();
    fx.RunSettings([&](TFormYJSet& d) {
        EXPECT_FALSE(d.RBSpeed1->isChecked());
        EXPECT_FALSE(d.RBSpeed2->isChecked());
        EXPECT_FALSE(d.RBSpeed3->isChecked());
        d.BtnOK->click();
    });
    EXPECT_EQ(f.YJSet.AutoDelay, 1000);
    EXPECT_FLOAT_EQ(f.YJSet.AutoTolerance, 1.25f);
    EXPECT_EQ(ReadSettingsFile(fx), SettingsBytes(0, 0, 1000, 1.25f, 0, 4, 18));

    // A speed picked and then cancelled is not shown as chosen next time.
    fx.RunSettings([&](TFormYJSet& d) {
        d.RBSpeed2->setChecked(true);
        d.BtnCancel->click();
    });
    fx.RunSettings([&](TFormYJSet& d) {
        EXPECT_FALSE(d.RBSpeed2->isChecked());
        d.BtnCancel->click();
    });
}

// A settings file that cannot be written (read-only here, which holds even
// for root; a full disk gives the same): the new settings apply for this run
// and the teacher is told they will not last; the file stays as it was.
TEST(SettingsDialog, AFileThatCannotBeWrittenIsSaidAndTheSettingsStillApply)
{
    GuiFixture fx;
    const std::string stored = SettingsBytes(0, 0, 2000, 1.0f, 0, 4, 18);
    fx.WriteFile("YJSet.dat", stored);
    ASSERT_EQ(::chmod((fx.home / "YJSet.dat").c_str(), 0444), 0);
    TestMainForm& f = fx.Start();
    fx.RunSettings([&](TFormYJSet& d) {
        d.TBSpeed->setValue(9);
        d.CBISavePicture->setChecked(true);
        d.BtnOK->click();
    });
    EXPECT_EQ(fx.prompts.Texts(),
              (std::vector<std::string>{"阅卷设置无法保存到文件 YJSet.dat，本次运行仍按新设置阅卷。"}));
    EXPECT_EQ(f.FormYJSet()->Settled, 1);
    EXPECT_EQ(f.YJSet.SpeechRate, 9);
    EXPECT_EQ(f.YJSet.SavePictures, 1);
    EXPECT_EQ(ReadSettingsFile(fx), stored);
}

TEST(SettingsDialog, CardColourFollowsMarkerFileAndDialog)
{
    GuiFixture fx;
    fx.WriteFile("ncm.set", "");
    TestMainForm& f = fx.Start();
    fx.RunSettings([&](TFormYJSet& d) {
        EXPECT_TRUE(d.CBIgnoreJDKColor->isChecked());
        d.CBIgnoreJDKColor->setChecked(false);
        d.BtnOK->click();
    });
    EXPECT_EQ(f.CheckCardColour, 1);
    fx.RunSettings([&](TFormYJSet& d) {
        EXPECT_FALSE(d.CBIgnoreJDKColor->isChecked());
        d.CBIgnoreJDKColor->setChecked(true);
        d.BtnOK->click();
    });
    EXPECT_EQ(f.CheckCardColour, 0);
    EXPECT_EQ(ReadSettingsFile(fx).size(), 18u);  // the colour option is never stored
}

TEST(SettingsDialog, TurningSpeechOffReleasesTheVoiceAndOnMakesANewOne)
{
    GuiFixture fx;
    fx.WriteFile("YJSet.dat", SettingsBytes(1, 0, 2000, 1.0f, 0, 4, 18));
    TestMainForm& f = fx.Start();
    ASSERT_NE(f.Voice, nullptr);
    EXPECT_EQ(fx.voices.alive, 1);
    fx.RunSettings([&](TFormYJSet& d) {
        QTest::mouseClick(d.CBYuYin, Qt::LeftButton);
        d.BtnOK->click();
    });
    EXPECT_EQ(f.Voice, nullptr);
    EXPECT_EQ(fx.voices.alive, 0);
    fx.prompts.Answer(PromptAnswer::Ok);
    fx.RunSettings([&](TFormYJSet& d) {
        QTest::mouseClick(d.CBYuYin, Qt::LeftButton);
        d.BtnOK->click();
    });
    EXPECT_NE(f.Voice, nullptr);
    EXPECT_EQ(fx.voices.created, 2);
}

TEST(SettingsDialog, PictureFolderButtonNamesAndOpensTheFolder)
{
    GuiFixture fx;
    fx.Start();
    fx.RunSettings([&](TFormYJSet& d) {
        d.BtnOpenDir->click();
        d.BtnCancel->click();
    });
    std::string folder = files::ToUtf8(fx.home / files::FromUtf8("原始图片"));
    EXPECT_EQ(fx.prompts.Texts(),
              (std::vector<std::string>{"下面将弹出图片保存到的文件夹,如未正常弹出,请手工打开下面文件夹:" + folder}));
    ASSERT_EQ(fx.opened.size(), 1u);
    EXPECT_EQ(QUrl(QString::fromStdString(fx.opened[0])).toLocalFile().toStdString(), folder);
}

} // namespace
