#include "ScreenLock.h"

#include "Log.h"

#include <QProcess>

void LoginctlLock::lock() {
    QProcess process;
    process.setProgram(program_);
    process.setArguments({QStringLiteral("lock-session")});
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        log("lock: could not run loginctl lock-session: " + process.errorString(), LogArea::app);
}
