#pragma once
// Whether a host a person typed is an imagery mirror worth saving: its index is fetched and judged with
// the same verdicts as --check-index. Blocking; call it off the GUI thread.

#include <QString>
#include <QStringList>
#include <optional>

namespace MirrorCheck {
struct Outcome {
    bool usable = false;
    QString host; // the normalised host, as it would be saved
    QString text; // one sentence for the window
};

// Usable when the host answers with an index in which at least one product is accepted.
Outcome check(const QString& typed);

// The sentence for the verdict lines of a host's index (nothing: no products array).
Outcome judge(const QString& host, const std::optional<QStringList>& verdicts);
} // namespace MirrorCheck
