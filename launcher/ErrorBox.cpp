#include "launcher/ErrorBox.h"

#include "platform/Errors.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

namespace corvane {

void ShowErrorBox(const std::string& message) {
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                    QString::fromStdString(message), QMessageBox::Ok);
    box.exec();
}

void ShowErrorMessage(const std::string& message) {
    HandleException(std::make_exception_ptr(Exception(message)));
}

void ShowException(const std::exception& error) {
    ShowErrorMessage(error.what());
}

void InstallErrorBox() {
    SetErrorReport(ShowErrorBox);
}

} // namespace corvane
