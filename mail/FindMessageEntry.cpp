#include "mail/FindMessageEntry.h"

namespace sieveclaw {

ListPos FindMessageEntry(const GuardedList<MessageEntry>& list, const MessageEntry& summary) {
    return list.FindIf([&summary](const MessageEntry& entry) { return entry.IsSameMessage(summary); });
}

}  // namespace sieveclaw
