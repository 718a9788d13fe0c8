#pragma once
// The card chooser: the installed answer-card templates in two lists,
// "自打印卡" (DY*.dat) and "机读卡" (JD*.dat), the picture of the clicked
// card, and the printable card sheets.

#include <QDialog>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/ui/MainWindow.h"

class CardDesigner;
class Prompts;
class QLabel;
class QPushButton;
class QScrollArea;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;

class TFormCard final : public QDialog, public CardChooser {
    Q_OBJECT
public:
    // The picture area's size; a card picture is drawn at (20, 20) in it.
    static constexpr int PictureWidth = 820;
    static constexpr int PictureHeight = 600;

    // `prompts` answers the card designer's questions (the window's own
    // message boxes when null).
    TFormCard(std::function<std::filesystem::path()> programFolder, std::function<bool(const QUrl&)> openUrl,
              QWidget* parent = nullptr, Prompts* prompts = nullptr);
    ~TFormCard() override;

    // Shows the dialog modally; the chosen template's file name on
    // confirmation, empty when it was cancelled or closed.
    std::string Choose(const std::string& preselection, const std::string& caption) override;

    // The chosen card name (UTF-8), given by the caller before showing.
    std::string CardName;

    QTreeWidget* LVCards1 = nullptr;  // 自打印卡
    QTreeWidget* LVCards2 = nullptr;  // 机读卡
    QSplitter* Splitter1 = nullptr;
    QPushButton* BtnDaiRu = nullptr;       // 确定
    QPushButton* QuxiaoButton = nullptr;   // 取消
    QPushButton* BtnPrint = nullptr;       // 打印答题卡
    QPushButton* BtnDesign = nullptr;      // 设计答题卡
    QLabel* Label1 = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    QLabel* ImageCard = nullptr;

    // Whether the shown picture came from a file (false: the area is blank).
    bool PictureShown() const { return pictureShown_; }

public slots:
    void FormShow();
    void LVCards1Click(QTreeWidgetItem* item);
    void LVCards2Click(QTreeWidgetItem* item);
    void LVCards1DblClick(QTreeWidgetItem* item);
    void LVCards2DblClick(QTreeWidgetItem* item);
    void BtnDaiRuClick();
    void QuxiaoButtonClick();
    void BtnPrintClick();
    void BtnDesignClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillList(QTreeWidget* list, const char* pattern);
    void Preselect();
    void ShowCardPicture();
    bool NoCards() const;

    std::function<std::filesystem::path()> programFolder_;
    std::function<bool(const QUrl&)> openUrl_;
    bool pictureShown_ = false;
    QTreeWidget* focusList_ = nullptr;
    std::unique_ptr<Prompts> ownPrompts_;
    Prompts* prompts_ = nullptr;

public:
    // The designer, created on first use and kept (null before).
    CardDesigner* Designer() const { return designer_; }

private:
    CardDesigner* designer_ = nullptr;
};
