#pragma once

#include <string>

#include "core/Updater.h"
#include "engine/SharedState.h"
#include "filter/FilterFiles.h"

namespace sieveclaw {

// The filter update itself: the files the updater has are merged into the From and Body lists
// ("wordlist.txt" saved when they grew), and the update's date is set to now and the settings
// saved. Run by the worker at its start every 14 days, and by Live Update at once. Safe from
// either thread: the lists and the settings guard themselves, the list files are written under
// the state's file lock.
FilterUpdateResult RunFilterUpdate(CSharedState& state, CUpdater& updater);

// What Live Update tells the user about the filter part: how many entries the files held and
// where they came from.
std::string FilterUpdateReport(const FilterUpdateResult& result, const CUpdater& updater);

}  // namespace sieveclaw
