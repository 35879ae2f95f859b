#pragma once

#include <functional>

#include <QWidget>

#include "core/UserPrompt.h"
#include "engine/SendMessageFile.h"

namespace sieveclaw {

// One send of a stored message (salvage or bounce): the status callback and the prompt it must
// use, since it runs on a thread of its own.
using SendFn = std::function<ESendOutcome(const SendStatusFn& status, CUserPrompt& prompt)>;

// Runs send on a thread of its own while the status box "Sending Email" over owner shows its
// headline and stages, so that the windows keep painting and moving however long the server
// takes (the transport's deadline bounds it). The boxes send asks for are shown by prompt on this
// thread, in their order among the stages. Returns send's result once the box is gone. The
// caller keeps its own commands from running meanwhile.
ESendOutcome SendWithStatusBox(QWidget* owner, CUserPrompt& prompt, const SendFn& send);

}  // namespace sieveclaw
