// The program's entry: the interface thread on the first processor, the
// window and its services, start-up, the event loop.
#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <pthread.h>
#include <sched.h>

#include "app/ui/MainWindow.h"
#include "capture/ui/CameraDriver.h"
#include "platform/Files.h"
#include "platform/qt/AlsaSound.h"
#include "platform/qt/EspeakVoice.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/Prompts.h"

static void BindToFirstProcessor()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(0, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

int main(int argc, char** argv)
{
    BindToFirstProcessor();
    // A second start ends silently with 0 before Qt connects to the display
    // and the desktop's bus, whose libraries keep memory to the end.
    InstanceLock instanceLock;
    if (!instanceLock.TryLock())
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("scorivo"));
    // No display name: the desktop would append it to every caption, and
    // marking writes each student's result into the caption.
    try {
        QtPrompts prompts;
        AlsaSoundPlayer sound;
        MainServices services;
        services.prompts = &prompts;
        services.sound = &sound;
        services.instanceLock = &instanceLock;
        services.createVoice = []() -> std::unique_ptr<SpeechVoice> { return EspeakVoice::Create(); };
        // Cameras (V4L2 and the virtual demo camera), Timer1 and the marking attempt.
        CameraDriver cameraDriver(prompts);
        services.camera = cameraDriver.Port();

        TMainForm form(services);
        prompts.SetOwner(&form);
        cameraDriver.Attach(form);
        if (form.FormCreate() == TMainForm::StartResult::EndProcess)
            return 0;
        form.show();
        // The desktop starts us with the ".yj" file the teacher opened.
        const QStringList arguments = QApplication::arguments();
        if (arguments.size() > 1)
            form.OpenGivenRawFile(files::FromUtf8(arguments.at(1).toStdString()));
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QString::fromUtf8(kMainCaption), QString::fromUtf8(e.what()));
        return 1;
    }
}
