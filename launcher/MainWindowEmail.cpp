// The mail area's click: the support e-mail.
#include "launcher/MainWindow.h"

#include "launcher/ErrorBox.h"
#include "launcher/PictureArea.h"
#include "launcher/SupportMail.h"

namespace corvane {

void TFrmMenu::ConnectEmailArea() {
    connect(imgEmail, &TImage::clicked, this,
            [this] { RunGuarded([this] { imgEmailClick(imgEmail); }); });
}

void TFrmMenu::imgEmailClick(QObject*) {
    SendSupportMail();
}

} // namespace corvane
