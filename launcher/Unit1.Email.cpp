// The mail area's click: the support e-mail.
#include "Unit1.h"

#include "Corvane.ErrorBox.h"
#include "Corvane.Image.h"
#include "Corvane.SupportMail.h"

namespace corvane {

void TFrmMenu::ConnectEmailArea() {
    connect(imgEmail, &TImage::clicked, this,
            [this] { RunGuarded([this] { imgEmailClick(imgEmail); }); });
}

void TFrmMenu::imgEmailClick(QObject*) {
    SendSupportMail();
}

} // namespace corvane
