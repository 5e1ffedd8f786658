#include "launcher/ErrorBox.h"

#include "platform/Errors.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

namespace corvane {

void ShowErrorBox(const std::string& AMessage) {
    QMessageBox LBox(QMessageBox::Critical, QCoreApplication::applicationName(),
                     QString::fromStdString(AMessage), QMessageBox::Ok);
    LBox.exec();
}

void ShowErrorMessage(const std::string& AMessage) {
    HandleException(std::make_exception_ptr(Exception(AMessage)));
}

void ShowException(const std::exception& AError) {
    ShowErrorMessage(AError.what());
}

void InstallErrorBox() {
    SetErrorReport(ShowErrorBox);
}

} // namespace corvane
