#include "Corvane.ErrorReport.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

#include <utility>

namespace corvane {

namespace {

TErrorReport& CurrentReport() {
    static TErrorReport report;
    return report;
}

} // namespace

void ShowErrorBox(const std::string& AMessage) {
    QMessageBox LBox(QMessageBox::Critical, QCoreApplication::applicationName(),
                     QString::fromStdString(AMessage), QMessageBox::Ok);
    LBox.exec();
}

void ShowErrorMessage(const std::string& AMessage) {
    if (const TErrorReport& LReport = CurrentReport())
        LReport(AMessage);
    else
        ShowErrorBox(AMessage);
}

void ShowException(const std::exception& AError) {
    ShowErrorMessage(AError.what());
}

TErrorReport SetErrorReport(TErrorReport AReport) {
    return std::exchange(CurrentReport(), std::move(AReport));
}

} // namespace corvane
