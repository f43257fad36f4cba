#include "CarryOver.h"

#include <QDir>
#include <QFileInfo>

QString CarryOver::defaultOldCache(const QString& beside) {
    const QString folder = QDir::cleanPath(beside);
    return QDir::cleanPath(QFileInfo(folder).path() + QStringLiteral("/Corvane"));
}
