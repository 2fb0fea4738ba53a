#pragma once

#include <cstdint>
#include <functional>

#include "journal/journal_folder.h"
#include "journal/journal_format.h"
#include "platform/controls.h"

namespace corvane::journal {

// At start: offers, one by one and newest first, the journals that editors no longer running
// left in `folder`, naming the panes each holds. "是" hands the journal to `restore`, which brings
// the panes back (and stores them in this editor's own journal) before the left one is removed;
// the window then holds that journal's panes, so the others are left for a later start. "否"
// moves it into discarded/. A journal that cannot be read is never offered: the person is told,
// and it is moved into discarded/ as well. What discarded/ has held for seven days is deleted.
// Returns whether a journal was restored.
bool recoverLeftJournals(JournalFolder& folder, Prompt& prompt,
                         const std::function<void(const Journal&)>& restore, std::int64_t nowNs);

}  // namespace corvane::journal
