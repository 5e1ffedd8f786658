// The window's tray icon, its pop-up menu and what closing and minimising the window do.
#include "launcher/MainWindow.h"

#include "launcher/Application.h"
#include "launcher/PictureArea.h"
#include "launcher/TrayIcon.h"
#include "launcher/WindowActivation.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QScreen>

namespace corvane {

void TFrmMenu::CreatePopupMenu() {
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    AbreoSistemadeGesttoHospitalar1 =
        PopupMenu->addAction(QStringLiteral("Abre o Sistema de Gesttão Hospitalar"));
    AbreoSistemadeGesttoHospitalar1->setObjectName(
        QStringLiteral("AbreoSistemadeGesttoHospitalar1"));
    connect(AbreoSistemadeGesttoHospitalar1, &QAction::triggered, this,
            [this] { AbreoSistemadeGesttoHospitalar1Click(AbreoSistemadeGesttoHospitalar1); });
    N1 = PopupMenu->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    FechaoSistemadeGesttoHospitalar1 =
        PopupMenu->addAction(QStringLiteral("Fecha o Sistema de Gesttão Hospitalar"));
    FechaoSistemadeGesttoHospitalar1->setObjectName(
        QStringLiteral("FechaoSistemadeGesttoHospitalar1"));
    connect(FechaoSistemadeGesttoHospitalar1, &QAction::triggered, this,
            [this] { FechaoSistemadeGesttoHospitalar1Click(FechaoSistemadeGesttoHospitalar1); });

    // The background and every click area open the menu; imgAeC opens none and keeps the
    // right-click from reaching the window beneath.
    for (TImage* LImage : findChildren<TImage*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (LImage == imgAeC) {
            LImage->setContextMenuPolicy(Qt::PreventContextMenu);
            continue;
        }
        LImage->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(LImage, &QWidget::customContextMenuRequested, this,
                [this, LImage](const QPoint& APoint) {
                    PopupMenu->popup(LImage->mapToGlobal(APoint));
                });
    }
}

void TFrmMenu::AddTrayIcon() {
    if (TrayIconCriado)
        return;
    if (!FTrayIcon) {
        FTrayIcon =
            new TTrayIcon(QApplication::windowIcon(), QString::fromUtf8(ApplicationTitle), this);
        FTrayIcon->OnMessage = [this](int ALParam) { TrayMessage(ALParam); };
        // From then on closing hides the window into the tray.
        FTrayIcon->OnAdded = [this] { TrayIconCriado = true; };
    }
    TrayIconCriado = FTrayIcon->Add();
}

void TFrmMenu::TrayMessage(int ALParam) {
    if (ALParam == WM_LBUTTONDBLCLK) {
        RestoreAndBringToFront(*this);
    } else if (ALParam == WM_RBUTTONDOWN) {
        // Near the bottom-right corner whatever the mouse position; Qt keeps it on screen.
        if (const QScreen* LScreen = QGuiApplication::primaryScreen()) {
            const QRect LGeometry = LScreen->geometry();
            PopupMenu->popup(QPoint(LGeometry.width() - 20, LGeometry.height() - 20));
        }
    }
}

void TFrmMenu::AbreoSistemadeGesttoHospitalar1Click(QObject*) {
    RestoreAndBringToFront(*this);
}

void TFrmMenu::FechaoSistemadeGesttoHospitalar1Click(QObject*) {
    wfecha = true;
    close();
}

void TFrmMenu::FormClose(QObject*, TCloseAction& Action) {
    if (wfecha) {
        // The program ends once the current event has been handled.
        QCoreApplication::quit();
    } else {
        Action = TCloseAction::caNone;
        showMinimized();
    }
}

void TFrmMenu::ApplicationEvents1Minimize(QObject*) {
    // Minimised, the launcher lives in the tray alone. Without a tray icon the window stays on
    // the task bar: hidden, nothing could bring it back.
    if (TrayIconCriado)
        hide();
}

void TFrmMenu::FormDestroy(QObject*) {
    if (FTrayIcon)
        FTrayIcon->Delete();
}

void TFrmMenu::closeEvent(QCloseEvent* AEvent) {
    TCloseAction LAction = TCloseAction::caHide;
    FormClose(this, LAction);
    if (LAction == TCloseAction::caNone)
        AEvent->ignore();
    else
        AEvent->accept();
}

void TFrmMenu::changeEvent(QEvent* AEvent) {
    QWidget::changeEvent(AEvent);
    // Queued: showMinimized shows the window again right after it has changed the state.
    if (AEvent->type() == QEvent::WindowStateChange && isMinimized())
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isMinimized())
                    ApplicationEvents1Minimize(this);
            },
            Qt::QueuedConnection);
}

} // namespace corvane
