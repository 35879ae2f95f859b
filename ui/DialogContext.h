#pragma once

#include <functional>

#include "core/DataFileDamage.h"
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

    // A window keeps the change the user made, but a file that was not written (or that is damaged,
    // and so is never written over) is named in an error box, so the change is not believed kept.
    void ShowIfNotSaved(const SaveResult& saved) const;
    // The same for a save of the settings file (SaveSettings' answer).
    void ShowIfSettingsNotSaved(bool saved) const;
};

}  // namespace sieveclaw
