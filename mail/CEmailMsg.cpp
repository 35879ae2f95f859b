#include "mail/CEmailMsg.h"

namespace sieveclaw {

MessageEntry CEmailMsg::Summary() const { return MessageEntry{m_To, m_From, m_Subject, m_Date, m_FilePath}; }

void CEmailMsg::ClearHeaderFields() {
    m_To.clear();
    m_From.clear();
    m_Subject.clear();
    m_Date.clear();
}

}  // namespace sieveclaw
