// The actions that need the whole application (Qt Gui, FFmpeg), apart from the light ones the program
// runs before loading it (CommandLine.cpp).

#include "Cache.h"
#include "CommandLine.h"
#include "HttpClient.h"

namespace {

// An index at an address is read here: the application's part links the network library, the program
// itself does not.
std::optional<QByteArray> downloadIndex(const QString& address, QString* error) {
    const auto protocols = address.startsWith(QLatin1String("https://")) ? HttpClient::Protocols::httpsOnly
                                                                         : HttpClient::Protocols::httpOrHttps;
    return HttpClient::get(address, error, protocols, Cache::largestIndexBytes);
}

} // namespace

std::optional<int> CommandLine::runAction() const {
    switch (action()) {
    case Action::none:
        return std::nullopt;
    case Action::checkIndex:
        if (const auto source = operand(QStringLiteral("--check-index")))
            return Actions::checkIndex(*source, downloadIndex);
        return runLightAction(); // its usage line
    case Action::selfTest:
        return Actions::selfTest();
    case Action::lookTest:
        return Actions::lookTest();
    case Action::exportFrame:
        if (!operand(QStringLiteral("--export-frame"), 2)) {
            std::fputs("usage: Solvane --export-frame <product-id> <out.png>\n", stderr);
            return 1;
        }
        return Actions::exportFrame(*operand(QStringLiteral("--export-frame")),
                                    *operand(QStringLiteral("--export-frame"), 2));
    case Action::refresh:
        return Actions::refresh();
    case Action::prime:
        return Actions::prime();
    default:
        return runLightAction();
    }
}
