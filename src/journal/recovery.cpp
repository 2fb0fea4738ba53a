#include "journal/recovery.h"

#include <ctime>

#include "app/captions.h"
#include "platform/platform_error.h"

namespace corvane::journal {

namespace {

std::string_view captionOf(PaneId pane) {
    switch (pane) {
        case PaneId::Css:
            return text::kCssCaption;
        case PaneId::Js:
            return text::kJsCaption;
        case PaneId::Html:
        default:
            return text::kHtmlCaption;
    }
}

std::string localTime(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    char out[32] = "";
    if (::localtime_r(&seconds, &parts) != nullptr)
        std::strftime(out, sizeof out, "%Y-%m-%d %H:%M:%S", &parts);
    return out;
}

}  // namespace

bool recoverLeftJournals(JournalFolder& folder, Prompt& prompt,
                         const std::function<void(const Journal&)>& restore, std::int64_t nowNs) {
    folder.purgeDiscarded(nowNs);
    folder.purgeOrphanBases();
    for (LeftJournal& left : folder.leftBehind()) {
        // Locked one at a time, as it is offered: an editor started at the same moment offers
        // the others meanwhile.
        if (!folder.lock(left)) continue;
        std::optional<Journal> journal;
        try {
            journal = readJournal(folder.read(left));
        } catch (const PlatformError&) {
        }
        // Its panes' bases: a journal without them is of no use either.
        if (journal && !completeJournal(*journal, [&folder, &left](const std::string& name) {
                return folder.readBase(left, name);
            }))
            journal.reset();
        if (journal && journal->panes.empty()) {
            folder.forget(std::move(left));
            continue;
        }
        if (!journal) {
            const std::string where = folder.path() + "/" + left.fileName();
            folder.discard(std::move(left));
            prompt.tell(text::damagedJournalMessage(where), std::string(text::kRecoverTitle));
            continue;
        }
        std::string panes;
        for (const PaneRecord& pane : journal->panes)
            panes += text::recoverPaneLine(captionOf(pane.pane), pane.path);
        const std::string question = text::recoverQuestion(panes, localTime(journal->savedAtMs));
        if (prompt.askYesNo(question, std::string(text::kRecoverTitle)) == Answer::No) {
            folder.discard(std::move(left));
            continue;
        }
        restore(*journal);
        folder.forget(std::move(left));
        return true;
    }
    return false;
}

}  // namespace corvane::journal
