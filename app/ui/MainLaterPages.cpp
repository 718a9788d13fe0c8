// Members of the pages 5 and 6 that their own subsystems take over: each
// subsystem moves its members from here into its ui/ folder when its page
// lands. Until then the pages are empty frames and the wizard moves through
// them with the checks that need no page content.
#include <QPushButton>

#include "app/ui/MainWindow.h"

void TMainForm::LayOutPreview()
{
    // Only the marking page shows the preview; the camera side draws it.
    if (ActivePage() == 5 && services_.camera)
        services_.camera->LayOutPreview();
}
