// Links with the program's scheme, handed over as arguments or by a second start.

#include "App.h"

#include "DeepLink.h"
#include "Log.h"
#include "Settings.h"

void App::openLinks(const QList<QUrl>& links) {
    for (const QUrl& url : links) {
        const QString text = url.toString(QUrl::FullyEncoded);
        const std::optional<DeepLink> link = DeepLink::parse(url);
        if (!link) {
            log("link refused: " + text, LogArea::app);
            continue;
        }
        if (showing_ && mode() == Mode::kiosk) {
            log("link ignored: a kiosk is showing", LogArea::app);
            continue;
        }
        switch (link->kind) {
        case DeepLink::Kind::layout:
        case DeepLink::Kind::look:
        case DeepLink::Kind::mini:
            log("link: " + text + " is not in this version", LogArea::app);
            break;
        case DeepLink::Kind::product:
        case DeepLink::Kind::settings:
            log("link: " + text + ", opening Settings", LogArea::app);
            if (!showing_) parts_.showPreferences();
            break;
        }
    }
}
