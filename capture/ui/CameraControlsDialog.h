#pragma once
// "画质调节": the camera's picture settings (brightness, contrast, exposure,
// white balance, focus, … as far as the device has them) as sliders, check
// boxes and lists; every change goes to the device at once.

#include <QDialog>
#include <vector>

#include "capture/CameraSource.h"

class QLabel;

class CameraControlsDialog : public QDialog {
    Q_OBJECT
public:
    CameraControlsDialog(CameraControls& controls, QWidget* parent = nullptr);

    // The settings the device offered when the dialog was built.
    const std::vector<CameraControl>& Offered() const { return offered_; }
    // The widget of one setting ("Control<id>": QSlider, QCheckBox or QComboBox).
    QWidget* ControlWidget(uint32_t id) const;

public slots:
    void RestoreDefaults();

private:
    void Apply(uint32_t id, int32_t value);
    void Show(uint32_t id, int32_t value);

    CameraControls& controls_;
    std::vector<CameraControl> offered_;
};
