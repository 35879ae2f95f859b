#pragma once

#include <functional>

#include "core/StatusSink.h"
#include "core/UserPrompt.h"
#include "engine/SharedState.h"
#include "net/TransportOptions.h"

namespace sieveclaw {

// What the settings windows work on: the program's shared state (accounts, settings, lists), where
// their boxes go, and the switches of this run. Owned by whoever opens the windows; outlives them.
struct CDialogContext {
    CSharedState& m_State;
    CUserPrompt& m_Prompt;
    // Told about messages a rescan moved to the Trash Can; may be null.
    CStatusSink* m_StatusSink = nullptr;
    // "/a": added filter entries also go to the administrator list files.
    bool m_Administrator = false;
    // Changes the connection tests' transport after the settings made it (tests trust their own CA).
    std::function<void(CTransportOptions&)> m_TuneTransport;

    // The transport of a connection test: the Timeout and the implicit-TLS ports of the settings.
    CTransportOptions TransportOptions() const;
};

}  // namespace sieveclaw
