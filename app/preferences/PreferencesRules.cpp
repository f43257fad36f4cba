#include "PreferencesRules.h"

#include "Catalog.h"
#include "ScreenChoice.h"
#include "WallView.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace PreferencesRules {

QString summaryTitle(const QStringList& list) {
    if (list.isEmpty()) return QStringLiteral("All products (cycle)");
    if (list == QStringList{QStringLiteral("off")}) return QStringLiteral("Off");
    if (list.size() == 1) return Catalog::label(list.front()).value_or(QStringLiteral("1 product"));
    if (list.size() == 2)
        return Catalog::label(list[0]).value_or(list[0]) + ", " + Catalog::label(list[1]).value_or(list[1]);
    return QString::number(list.size()) + " products";
}

QString productTitle(const QString& id, const QString& label, bool directSource) {
    return directSource && Catalog::needsMirror(id) ? label + QStringLiteral(" (needs an imagery mirror)")
                                                    : label;
}

QStringList toggledProduct(QStringList list, const QString& id) {
    if (list == QStringList{QStringLiteral("off")}) list.clear();
    if (list.contains(id))
        list.removeAll(id);
    else
        list.append(id);
    return list;
}

QStringList randomized(QStringList list, const std::function<void(QStringList&)>& shuffle) {
    if (list.size() < 3)
        std::reverse(list.begin(), list.end());
    else if (shuffle)
        shuffle(list);
    return list;
}

QStringList savedProducts(const QStringList& stored, const std::vector<QStringList>& screens) {
    QStringList entries;
    for (const QStringList& list : screens)
        entries << ScreenChoice(list).entry();
    for (qsizetype i = qsizetype(screens.size()); i < stored.size(); ++i)
        entries << stored[i];
    return entries;
}

QString cacheStatusLine(const std::vector<CacheEntry>& entries, bool offline,
                        const std::optional<QDateTime>& refused) {
    if (entries.empty()) return QStringLiteral("Nothing downloaded yet");
    const QString count = entries.size() == 1 ? QStringLiteral("The built-in clip only")
                                              : QString::number(entries.size()) + " products";
    if (offline) return count + " on disk. Offline: not updating.";
    QString newest;
    for (const CacheEntry& entry : entries)
        newest = std::max(newest, entry.updated);
    QString line = count;
    if (!newest.isEmpty()) line += ", current to " + WallView::pretty(newest);
    if (refused) {
        const QLocale locale;
        line += ". Checked within the hour; the next check can run at " +
                locale.toString(refused->toLocalTime().time(), QLocale::ShortFormat) + ".";
    }
    return line;
}

QString armNote(Mode mode, double idleMinutes) {
    const QString minutes = QString::number(static_cast<qint64>(std::trunc(idleMinutes)));
    switch (mode) {
    case Mode::wall:
        return "Arm hides this window, then starts the wall after " + minutes + " minutes without input.";
    case Mode::kiosk:
        return "Arm hides this window, then starts the kiosk after " + minutes + " minutes without input.";
    case Mode::saver:
        return QStringLiteral("Arm hides this window. Screen Saver already waits on its own.");
    case Mode::desktop:
        break;
    }
    return QStringLiteral("Arm hides this window and leaves Solvane running; the picture keeps updating.");
}

QString deactivateText(bool desktopComesBack, bool opensAtLogin, bool carriesSaver) {
    QStringList lines{QStringLiteral("Your settings and downloaded imagery are kept.")};
    if (desktopComesBack) lines << QStringLiteral("Your previous desktop picture comes back.");
    if (opensAtLogin) lines << QStringLiteral("It stops opening at login.");
    if (carriesSaver)
        lines << QStringLiteral(
            "A screen saver added to XScreenSaver stays there; remove it in XScreenSaver.");
    return lines.join('\n');
}

} // namespace PreferencesRules
