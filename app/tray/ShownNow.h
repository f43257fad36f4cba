#pragma once
// The frame the save, export, share and print actions take. GUI thread only (it asks the walls).

#include "WallView.h"

#include <QStringList>
#include <optional>
#include <vector>

// The first wall, in screen order, that reports a frame; else newestShown of the first screen's
// products. Nothing when the cache is empty.
std::optional<WallView::Shown> shownNow(const std::vector<WallView*>& walls);

// The last slot of the cached clip of the first of `ids` that is cached (else of the first cached
// entry), with provenance from the entry's time, its slot count and the bundled glossary; at 0 s when
// the clip's length gives no slot count. Nothing when the cache is empty.
std::optional<WallView::Shown> newestShown(const QStringList& ids);
