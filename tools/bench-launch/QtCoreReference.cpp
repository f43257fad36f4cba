// A minimal Qt Core program: what any command of a Qt program costs before it does its own work.

#include <QString>
#include <cstdio>

int main() {
    std::puts(QStringLiteral("Qt %1").arg(QLatin1String(qVersion())).toUtf8().constData());
    return 0;
}
