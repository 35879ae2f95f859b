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

}  // namespace sieveclaw
