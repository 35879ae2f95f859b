#include "core/EmailAccountInfo.h"

#include "core/AsciiCase.h"
#include "core/DataFolder.h"
#include "core/TextFile.h"

namespace sieveclaw {

EmailAccountInfo::EmailAccountInfo() : EmailAccountInfo(GetProgramFolder()) {}

EmailAccountInfo::EmailAccountInfo(const std::string& programFolder)
    : m_SpamSoundFile(programFolder + "clawed.wav"),
      m_NewMailSoundFile(programFolder + "mailin.wav"),
      m_InboxEntries(std::make_shared<CMessageEntryList>()),
      m_PendingDeletions(std::make_shared<CMessageEntryList>()) {}

bool HasSameStoredFields(const EmailAccountInfo& a, const EmailAccountInfo& b) {
    return a.m_AccountName == b.m_AccountName && a.m_POP3Server == b.m_POP3Server && a.m_POP3UserId == b.m_POP3UserId &&
           a.m_POP3Password == b.m_POP3Password && a.m_POP3Port == b.m_POP3Port && a.m_SMTPServer == b.m_SMTPServer &&
           a.m_SMTPNeedsLogon == b.m_SMTPNeedsLogon && a.m_SMTPUserId == b.m_SMTPUserId &&
           a.m_SMTPPassword == b.m_SMTPPassword && a.m_SMTPPort == b.m_SMTPPort && a.m_PlaySounds == b.m_PlaySounds &&
           a.m_SpamSoundFile == b.m_SpamSoundFile && a.m_NewMailSoundFile == b.m_NewMailSoundFile &&
           a.m_EmailAddress == b.m_EmailAddress && a.m_OnHold == b.m_OnHold && a.m_POP3Security == b.m_POP3Security &&
           a.m_SMTPSecurity == b.m_SMTPSecurity && a.m_POP3Certificate == b.m_POP3Certificate &&
           a.m_SMTPCertificate == b.m_SMTPCertificate && a.m_LeaveMailUnread == b.m_LeaveMailUnread &&
           a.m_OtherStoredValues == b.m_OtherStoredValues;
}

bool LeavesMailUnreadByDefault(std::string_view pop3Server) {
    std::string server = AsciiLowered(StripWhiteSpace(pop3Server));
    if (server.ends_with('.')) {
        server.pop_back();  // a fully qualified name
    }
    for (const std::string_view domain : {"gmail.com", "googlemail.com"}) {
        if (server == domain || (server.size() > domain.size() && server.ends_with(domain) &&
                                 server[server.size() - domain.size() - 1] == '.')) {
            return true;
        }
    }
    return false;
}

}  // namespace sieveclaw
