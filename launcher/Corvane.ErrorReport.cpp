#include "Corvane.ErrorReport.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

#include <utility>

namespace corvane {

void ShowErrorBox(const std::string& AMessage) {
    QMessageBox LBox(QMessageBox::Critical, QCoreApplication::applicationName(),
                     QString::fromStdString(AMessage), QMessageBox::Ok);
    LBox.exec();
}

void ShowErrorMessage(const std::string& AMessage) {
    // One report for the whole program: the one the update layer's HandleException uses too.
    if (const TErrorReport LReport = CurrentErrorReport())
        LReport(AMessage);
    else
        ShowErrorBox(AMessage);
}

void ShowException(const std::exception& AError) {
    ShowErrorMessage(AError.what());
}

} // namespace corvane
