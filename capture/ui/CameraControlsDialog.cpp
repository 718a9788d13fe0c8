#include "capture/ui/CameraControlsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

namespace {
QString ControlName(uint32_t id) { return QStringLiteral("Control%1").arg(id); }
} // namespace

CameraControlsDialog::CameraControlsDialog(CameraControls& controls, QWidget* parent)
    : QDialog(parent), controls_(controls), offered_(controls.ListControls())
{
    setObjectName("CameraControlsDialog");
    setWindowTitle(QStringLiteral("摄像头设备"));
    auto* form = new QFormLayout;
    for (const CameraControl& c : offered_) {
        const QString label = QString::fromStdString(c.name);
        switch (c.kind) {
        case CameraControl::Kind::Integer: {
            auto* row = new QWidget(this);
            auto* h = new QHBoxLayout(row);
            h->setContentsMargins(0, 0, 0, 0);
            auto* slider = new QSlider(Qt::Horizontal, row);
            slider->setObjectName(ControlName(c.id));
            slider->setRange(c.minimum, c.maximum);
            slider->setSingleStep(c.step);
            slider->setPageStep(std::max(c.step, (c.maximum - c.minimum) / 10));
            slider->setValue(c.value);
            slider->setMinimumWidth(220);
            auto* value = new QLabel(QString::number(c.value), row);
            value->setObjectName(ControlName(c.id) + "Value");
            value->setMinimumWidth(48);
            h->addWidget(slider);
            h->addWidget(value);
            connect(slider, &QSlider::valueChanged, this, [this, id = c.id, value](int v) {
                value->setText(QString::number(v));
                Apply(id, v);
            });
            form->addRow(label, row);
            break;
        }
        case CameraControl::Kind::Boolean: {
            auto* box = new QCheckBox(this);
            box->setObjectName(ControlName(c.id));
            box->setChecked(c.value != 0);
            connect(box, &QCheckBox::toggled, this, [this, id = c.id](bool on) { Apply(id, on ? 1 : 0); });
            form->addRow(label, box);
            break;
        }
        case CameraControl::Kind::Menu: {
            auto* list = new QComboBox(this);
            list->setObjectName(ControlName(c.id));
            for (const auto& [index, caption] : c.menu) {
                list->addItem(QString::fromStdString(caption), index);
                if (index == c.value)
                    list->setCurrentIndex(list->count() - 1);
            }
            connect(list, &QComboBox::currentIndexChanged, this,
                    [this, id = c.id, list](int row) { Apply(id, list->itemData(row).toInt()); });
            form->addRow(label, list);
            break;
        }
        }
    }
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* defaults = buttons->addButton(QStringLiteral("默认值"), QDialogButtonBox::ResetRole);
    defaults->setObjectName("BtnDefaults");
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    close->setObjectName("BtnClose");
    connect(defaults, &QPushButton::clicked, this, &CameraControlsDialog::RestoreDefaults);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QWidget* CameraControlsDialog::ControlWidget(uint32_t id) const { return findChild<QWidget*>(ControlName(id)); }

void CameraControlsDialog::Apply(uint32_t id, int32_t value)
{
    controls_.SetControl(id, value);
    // The driver may round or refuse: show what is in force.
    int32_t now = value;
    if (controls_.GetControl(id, now) && now != value)
        Show(id, now);
}

void CameraControlsDialog::Show(uint32_t id, int32_t value)
{
    QWidget* w = ControlWidget(id);
    if (!w)
        return;
    const QSignalBlocker block(w);
    if (auto* slider = qobject_cast<QSlider*>(w)) {
        slider->setValue(value);
        if (auto* label = findChild<QLabel*>(ControlName(id) + "Value"))
            label->setText(QString::number(value));
    } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
        box->setChecked(value != 0);
    } else if (auto* list = qobject_cast<QComboBox*>(w)) {
        const int row = list->findData(value);
        if (row >= 0)
            list->setCurrentIndex(row);
    }
}

void CameraControlsDialog::RestoreDefaults()
{
    for (const CameraControl& c : offered_) {
        controls_.SetControl(c.id, c.defaultValue);
        int32_t now = c.defaultValue;
        controls_.GetControl(c.id, now);
        Show(c.id, now);
    }
}
