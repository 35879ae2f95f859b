#pragma once

#include "core/GuardedList.h"
#include "core/MessageEntry.h"

namespace sieveclaw {

// The first entry that stands for the same message (To, From, Subject and Date equal byte for
// byte; the path is not compared), or kNoPos. Takes the list's lock one step at a time.
ListPos FindMessageEntry(const GuardedList<MessageEntry>& list, const MessageEntry& summary);

}  // namespace sieveclaw
