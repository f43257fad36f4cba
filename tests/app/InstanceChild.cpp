// One start of the program's single-instance side, as its own process, so a test can start several at
// once: instance-child <socket> <hand-overs to wait for>. Prints "listening", "handed over" or "alone";
// the one listening prints "reopen" for each plain hand-over and ends after the expected number.
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    QCoreApplication application(argc, argv);
    const QString socket = QString::fromLocal8Bit(argv[1]);
    const int expected = QString::fromLocal8Bit(argv[2]).toInt();
    SingleInstance instance;
    switch (instance.start({}, socket)) {
    case SingleInstance::Start::handedOver:
        std::printf("handed over\n");
        return 0;
    case SingleInstance::Start::alone:
        std::printf("alone\n");
        return 0;
    case SingleInstance::Start::listening:
        std::printf("listening\n");
        std::fflush(stdout);
        break;
    }
    int received = 0;
    instance.setHandler([&received, expected, &application](const QList<QUrl>& links, const QStringList&) {
        std::printf(links.isEmpty() ? "reopen\n" : "links\n");
        std::fflush(stdout);
        if (++received == expected) QTimer::singleShot(100, &application, &QCoreApplication::quit);
    });
    QTimer::singleShot(60000, &application, &QCoreApplication::quit);
    return application.exec();
}
