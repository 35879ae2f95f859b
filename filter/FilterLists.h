#pragma once

#include <memory>
#include <string>

#include "core/GuardedList.h"
#include "core/GuardedStringSet.h"
#include "core/MessageEntry.h"
#include "filter/WordMatcher.h"

namespace sieveclaw {

// The five lists the spam decision consults. Both threads use them: the worker reads, the
// windows change them; every list guards itself, one operation at a time.
struct CFilterLists {
    // A single address (holds '@') or a whole domain, compared with From as stored.
    GuardedList<std::string> m_Friends;
    // Words, phrases or domains looked for in From; case is folded by the decision.
    GuardedStringSet m_FromList;
    // Words, phrases or link domains looked for as whole words in the body and the subject.
    GuardedStringSet m_BodyList;
    // Attachment extensions with their dot (".pif"), from the "Exts" setting.
    GuardedList<std::string> m_Exts;
    // Messages the user salvaged from the Trash Can this run; never saved.
    GuardedList<MessageEntry> m_Salvaged;

    // Search automata over the From and Body lists, so that a message costs one pass over its
    // text however long the lists grow. Each is rebuilt on first use after its list changed.
    CListMatcherCache m_FromMatcher{m_FromList, CWordMatcher::kShortTextRowBudgetBytes};
    CListMatcherCache m_BodyMatcher{m_BodyList, CWordMatcher::kRowBudgetBytes};
};

}  // namespace sieveclaw
