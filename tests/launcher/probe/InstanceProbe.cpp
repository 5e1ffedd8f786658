// Enters the single-instance registry as the launcher's start does (keyed by this program's
// own path) and prints "First" or "Second". A first start then prints "Activated" each time
// a later start asks it to come forward, and ends when its standard input closes. Reading
// "leave" it leaves the registry and prints "Left"; reading "rejoin" it enters it again and
// prints "Rejoined", or "Outside" when another launcher took it meanwhile.
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
        const std::string command(buffer, static_cast<std::size_t>(read));
        if (command.find("leave") != std::string::npos) {
            corvane::LeaveInstanceRegistry();
            std::printf("Left\n");
        } else if (command.find("rejoin") != std::string::npos) {
            std::printf(corvane::RejoinInstanceRegistry() ? "Rejoined\n" : "Outside\n");
        }
        std::fflush(stdout);
    });
    return application.exec();
}
