// Program entry of the launcher.
#include "Corvane.Application.h"
#include "Unit1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication LApplication(argc, argv);
    corvane::InitializeApplication();
    const std::unique_ptr<corvane::TFrmMenu> LForm = corvane::TFrmMenu::Create();
    LForm->show();
    return LApplication.exec();
}
