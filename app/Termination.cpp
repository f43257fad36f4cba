#include "Termination.h"

#include "Log.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
int pipeFds[2] = {-1, -1};
constexpr int handled[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}
} // namespace

Termination::Termination(QObject* parent) : QObject(parent) {
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        log(QStringLiteral("termination: no pipe for signals: ") +
                QString::fromLocal8Bit(std::strerror(errno)),
            LogArea::app);
        return;
    }
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &Termination::received);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : handled)
        ::sigaction(number, &action, nullptr);
}

Termination::~Termination() {
    for (int number : handled)
        ::signal(number, SIG_DFL);
}

void Termination::received() {
    unsigned char byte = 0;
    if (::read(pipeFds[0], &byte, 1) != 1) return;
    log(QStringLiteral("quitting on ") +
            QString::fromLatin1(sigabbrev_np(byte) ? sigabbrev_np(byte) : "a signal")
                .prepend(QStringLiteral("SIG")),
        LogArea::app);
    QCoreApplication::exit(0);
}
