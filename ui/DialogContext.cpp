#include "ui/DialogContext.h"

namespace sieveclaw {

CTransportOptions CDialogContext::TransportOptions() const {
    CTransportOptions options;
    CSettings& settings = m_State.m_Settings;
    options.m_Timeout = [&settings] { return settings.GetTimeout(); };
    options.m_ImplicitTlsPorts = settings.GetImplicitTlsPorts();
    if (m_TuneTransport) {
        m_TuneTransport(options);
    }
    return options;
}

void CDialogContext::ShowIfNotSaved(const SaveResult& saved) const {
    if (!saved) {
        m_Prompt.ShowError(saved.m_Error);
    }
}

void CDialogContext::ShowIfSettingsNotSaved(bool saved) const {
    if (!saved) {
        m_Prompt.ShowError("The settings were not saved: " + m_State.m_Store.LastError());
    }
}

}  // namespace sieveclaw
