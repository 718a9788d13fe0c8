#pragma once
// The camera chooser "摄像头设备列表": the cameras of the last enumeration in
// a two-column list; "确定" takes the selected one. Created once and reused;
// the choice is handed back in `SelectedIndex`.

#include <QDialog>
#include <functional>
#include <string>

#include "capture/CameraSource.h"

class QPushButton;
class QTreeWidget;

class TFormSheBei : public QDialog {
    Q_OBJECT
public:
    TFormSheBei(const CameraTable& table, QWidget* parent = nullptr);

    // 0-based; 0 when the dialog is created. Closing the dialog other than by
    // "确定" leaves it as it was.
    int SelectedIndex = 0;

    // How the refusal "请先选择一个摄像头设备！" is shown (a message box unless set).
    void SetMessageSink(std::function<void(const std::string&)> sink) { showMessage_ = std::move(sink); }

    QTreeWidget* ListView1 = nullptr;
    QPushButton* BtnOK = nullptr;

public slots:
    void BtnOKClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    const CameraTable& table_;
    std::function<void(const std::string&)> showMessage_;
};
