#include "Corvane.ErrorReport.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

#include <utility>

namespace corvane {

namespace {

// The report is kept by the update layer's default error report (SetErrorReport is defined
// there, once for the program); the launcher reads it back to tell whether one is installed.
TErrorReport CurrentReport() {
    TErrorReport LReport = SetErrorReport(TErrorReport());
    SetErrorReport(LReport);
    return LReport;
}

} // namespace

void ShowErrorBox(const std::string& AMessage) {
    QMessageBox LBox(QMessageBox::Critical, QCoreApplication::applicationName(),
                     QString::fromStdString(AMessage), QMessageBox::Ok);
    LBox.exec();
}

void ShowErrorMessage(const std::string& AMessage) {
    if (const TErrorReport LReport = CurrentReport())
        LReport(AMessage);
    else
        ShowErrorBox(AMessage);
}

void ShowException(const std::exception& AError) {
    ShowErrorMessage(AError.what());
}

} // namespace corvane
