// The actions that need the whole application (Qt Gui, FFmpeg), apart from the light ones the program
// runs before loading it (CommandLine.cpp).

#include "CommandLine.h"

std::optional<int> CommandLine::runAction() const {
    switch (action()) {
    case Action::none:
        return std::nullopt;
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
