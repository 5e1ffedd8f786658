#include "launcher/MainWindow.h"

#include "dialogs/MessageDialog.h"
#include "launcher/ErrorBox.h"
#include "launcher/LocaleTimeSeparator.h"
#include "launcher/PictureArea.h"
#include "launcher/SingleInstance.h"
#include "launcher/TrayIcon.h"
#include "launcher/WaitPanel.h"
#include "shell/LauncherTexts.h"
#include "shell/ModuleTable.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

namespace corvane {

namespace {

LauncherSystem QtLauncherSystem() {
    LauncherSystem system = PlatformLauncherSystem();
    system.timeSeparator = LocaleTimeSeparator().toStdString();
    return system;
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

std::unique_ptr<MainWindow> MainWindow::Create() {
    auto window = std::make_unique<MainWindow>();
    window->Start();
    return window;
}

// Components are created with the window as their Qt parent, which owns and deletes them; they
// stack in the order of their creation.
MainWindow::MainWindow() : launcher_(*this, QtLauncherSystem()) {
    setObjectName(QStringLiteral("mainWindow"));
    // A dialog-style frame: caption, system menu and close box; no minimise or maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    setWindowTitle(QString::fromUtf8(kApplicationTitle));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());

    CreateBackgroundAndAreas();
    waitPanel_ = new WaitPanel(this);

    startupRunTimer_ = new QTimer(this);
    startupRunTimer_->setObjectName(QStringLiteral("startupRunTimer"));
    startupRunTimer_->setSingleShot(true);
    connect(startupRunTimer_, &QTimer::timeout, this,
            [this] { RunGuarded([this] { launcher_.StartupRunDue(); }); });

    progressTimer_ = new QTimer(this);
    progressTimer_->setObjectName(QStringLiteral("progressTimer"));
    connect(progressTimer_, &QTimer::timeout, this,
            [this] { RunGuarded([this] { launcher_.ProgressTick(); }); });

    CreatePopupMenu();

    trayIcon_ =
        new TrayIcon(QGuiApplication::windowIcon(), QString::fromUtf8(kApplicationTitle), this);
    connect(trayIcon_, &TrayIcon::Activated, this, [this](TrayEvent event) {
        RunGuarded([this, event] { launcher_.TrayIconEvent(trayIcon_->Host(), event); });
    });
    connect(trayIcon_, &TrayIcon::Added, this,
            [this] { RunGuarded([this] { launcher_.TrayIconAdded(); }); });
}

MainWindow::~MainWindow() {
    trayIcon_->Remove();
}

void MainWindow::Start() {
    RunGuarded([this] { launcher_.Start(); });
}

void MainWindow::CreateBackgroundAndAreas() {
    background_ = new PictureArea(this);
    background_->setObjectName(QStringLiteral("background"));
    background_->setGeometry(0, 0, kClientWidth, kClientHeight);
    background_->setAlignment(Qt::AlignCenter);
    // 1024 x 768, centred: 3 columns and 30 rows are cut off at each side.
    background_->setPixmap(QPixmap(QStringLiteral(":/artwork/Fundo.jpg")));
    OpenMenuOnRightClick(background_);

    for (const ClickArea& area : ClickAreas()) {
        auto* widget = new PictureArea(this);
        widget->setObjectName(QString::fromUtf8(area.name.data(), area.name.size()));
        widget->setGeometry(area.bounds.left, area.bounds.top, area.bounds.width,
                            area.bounds.height);
        widget->setCursor(Qt::PointingHandCursor);
        // Qt breaks a hint's lines at the line feed alone.
        widget->setToolTip(
            Text(ClickAreaHint(area)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        if (area.opensMenu)
            OpenMenuOnRightClick(widget);
        else // and keeps the right click from reaching the window beneath
            widget->setContextMenuPolicy(Qt::PreventContextMenu);
        connect(widget, &PictureArea::Clicked, this,
                [this, &area] { RunGuarded([this, &area] { launcher_.AreaClicked(area); }); });
        areas_.emplace_back(area.name, widget);
    }
}

PictureArea* MainWindow::Area(std::string_view name) const {
    for (const auto& [areaName, widget] : areas_)
        if (areaName == name)
            return widget;
    return nullptr;
}

void MainWindow::CreatePopupMenu() {
    popupMenu_ = new QMenu(this);
    popupMenu_->setObjectName(QStringLiteral("popupMenu"));
    openAction_ = popupMenu_->addAction(QString::fromUtf8(kOpenCommandText));
    connect(openAction_, &QAction::triggered, this,
            [this] { RunGuarded([this] { launcher_.OpenCommand(); }); });
    popupMenu_->addSeparator();
    closeAction_ = popupMenu_->addAction(QString::fromUtf8(kCloseCommandText));
    connect(closeAction_, &QAction::triggered, this,
            [this] { RunGuarded([this] { launcher_.CloseCommand(); }); });
}

void MainWindow::OpenMenuOnRightClick(QWidget* widget) {
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(widget, &QWidget::customContextMenuRequested, this,
            [this, widget](const QPoint& point) { popupMenu_->popup(widget->mapToGlobal(point)); });
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        RunGuarded([this] { launcher_.WindowActivated(); });
    return QWidget::event(event);
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Spontaneous show events are the desktop restoring the window, not the window being shown.
    if (!event->spontaneous())
        RunGuarded([this] { launcher_.WindowShown(); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    bool closes = false;
    RunGuarded([this, &closes] { closes = launcher_.WindowClosing(); });
    if (closes)
        event->accept();
    else
        event->ignore();
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Queued: showMinimized shows the window again right after it has changed the state.
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isMinimized())
                    RunGuarded([this] { launcher_.WindowMinimised(); });
            },
            Qt::QueuedConnection);
}

void MainWindow::ShowWaitPanel() {
    waitPanel_->Start();
    // The panel is painted before the list building keeps the main thread busy.
    QCoreApplication::processEvents();
}

void MainWindow::HideWaitPanel() {
    waitPanel_->Stop();
}

void MainWindow::ShowProgress(const std::string& text) {
    waitPanel_->SetProgress(Text(text));
}

void MainWindow::StartProgressTicks(std::chrono::milliseconds interval) {
    progressTimer_->start(interval);
}

void MainWindow::StopProgressTicks() {
    progressTimer_->stop();
}

void MainWindow::SetCaption(const std::string& caption) {
    setWindowTitle(Text(caption));
}

void MainWindow::ShowMessage(MessageKind kind, const std::string& text) {
    switch (kind) {
    case MessageKind::Notice:
        ShowNotice(Text(text));
        return;
    case MessageKind::Information:
        MessageAt(Text(text), Information, {}, 0, -1, -1, QString());
        return;
    case MessageKind::Error:
        MessageAt(Text(text), Error, {}, 0, -1, -1, QString());
        return;
    }
}

void MainWindow::ScheduleStartupRun(std::chrono::milliseconds delay) {
    startupRunTimer_->start(delay);
}

bool MainWindow::AddTrayIcon() {
    return trayIcon_->Add();
}

void MainWindow::Minimise() {
    showMinimized();
}

void MainWindow::HideToTray() {
    hide();
}

void MainWindow::RestoreAndBringToFront() {
    if (isMinimized() || !isVisible())
        showNormal();
    raise();
    activateWindow();
}

void MainWindow::ShowMenuNearScreenCorner() {
    // Qt keeps the menu on screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect geometry = screen->geometry();
        const ScreenPoint point = TrayMenuPoint(geometry.width(), geometry.height());
        popupMenu_->popup(QPoint(point.x, point.y));
    }
}

void MainWindow::Close() {
    close();
}

void MainWindow::EndProgram() {
    QCoreApplication::quit();
}

void MainWindow::LeaveSingleInstance() {
    LeaveInstanceRegistry();
}

void MainWindow::RejoinSingleInstance() {
    RejoinInstanceRegistry();
}

} // namespace corvane
