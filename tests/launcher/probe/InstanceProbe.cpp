// Enters the single-instance registry as the launcher's start does (keyed by this program's
// own path) and prints "First" or "Second". A first start then prints "Activated" each time
// a later start asks it to come forward, and ends when its standard input closes or reads
// "leave" (after which it leaves the registry, prints "Left" and waits for the input to close).
#include "launcher/SingleInstance.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    corvane::SingleInstance instance(QCoreApplication::applicationFilePath());
    if (!instance.Claim(application.arguments().mid(1))) {
        std::printf("Second\n");
        std::fflush(stdout);
        return 0;
    }
    QObject::connect(&instance, &corvane::SingleInstance::SecondStartArrived, [] {
        std::printf("Activated\n");
        std::fflush(stdout);
    });
    std::printf("First\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &application, [&] {
        char buffer[256];
        const ssize_t read = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (read <= 0) {
            QCoreApplication::quit();
            return;
        }
        if (std::string(buffer, read).find("leave") != std::string::npos) {
            corvane::LeaveInstanceRegistry();
            std::printf("Left\n");
            std::fflush(stdout);
        }
    });
    return application.exec();
}
