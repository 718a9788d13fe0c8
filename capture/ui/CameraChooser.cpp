#include "capture/ui/CameraChooser.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TFormSheBei::TFormSheBei(const CameraTable& table, QWidget* parent) : QDialog(parent), table_(table)
{
    setObjectName("FormSheBei");
    setWindowTitle(QStringLiteral("摄像头设备列表"));
    setModal(true);

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName("ListView1");
    ListView1->setColumnCount(2);
    ListView1->setHeaderLabels({QStringLiteral("序号"), QStringLiteral("设备名称")});
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->header()->setStretchLastSection(false);
    ListView1->setColumnWidth(0, 40);
    ListView1->setColumnWidth(1, 200);

    BtnOK = new QPushButton(QStringLiteral("确定"), this);
    BtnOK->setObjectName("BtnOK");
    connect(BtnOK, &QPushButton::clicked, this, &TFormSheBei::BtnOKClick);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { BtnOKClick(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListView1);
    layout->addWidget(BtnOK, 0, Qt::AlignRight);
    resize(280, 220);
}

void TFormSheBei::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormSheBei::FormShow()
{
    ListView1->clear();
    for (int i = 0; i < table_.count; ++i) {
        auto* item = new QTreeWidgetItem(ListView1);
        item->setText(0, QString::number(i + 1));
        item->setText(1, QString::fromStdString(table_.entries[size_t(i)].name));
    }
    ListView1->setFocus();
    if (ListView1->topLevelItemCount() > 0)
        ListView1->setCurrentItem(ListView1->topLevelItem(0));
}

void TFormSheBei::BtnOKClick()
{
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    if (selected.isEmpty()) {
        const std::string text = "请先选择一个摄像头设备！";
        if (showMessage_)
            showMessage_(text);
        else
            QMessageBox::information(this, QStringLiteral("Scorivo"), QString::fromStdString(text));
        return;
    }
    SelectedIndex = selected.front()->text(0).toInt() - 1;
    accept();
}
