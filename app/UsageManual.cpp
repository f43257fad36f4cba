// Writes the manual page from its template, putting the --help table's switches and exit statuses where
// the template's marker lines stand. Run at build time: solvane-manual <template> <out>.
#include "Usage.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: solvane-manual <template> <out>\n", stderr);
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "solvane-manual: cannot read %s\n", argv[1]);
        return 1;
    }
    QString page;
    int markers = 0;
    for (const QString& line : QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String(".\\\" @OPTIONS@"))) {
            page += Usage::manualOptions();
            ++markers;
        } else if (line.startsWith(QLatin1String(".\\\" @EXIT STATUS@"))) {
            page += Usage::manualExitStatus();
            ++markers;
        } else {
            page += line + QLatin1Char('\n');
        }
    }
    page.chop(1); // the split's last, empty piece added one newline too many
    QSaveFile out(QString::fromLocal8Bit(argv[2]));
    if (markers != 2 || !out.open(QIODevice::WriteOnly) || out.write(page.toUtf8()) < 0 || !out.commit()) {
        std::fprintf(stderr, "solvane-manual: cannot write %s (%d of 2 markers found)\n", argv[2], markers);
        return 1;
    }
    return 0;
}
