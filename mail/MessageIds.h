#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/MessageEntry.h"

// What a mailbox's check remembers, by the unique ids its server gives (UIDL), of the messages it
// has judged: so that a check reads headers only for messages it has not seen. One file per
// mailbox in the folder "messageids" of the data folder, replaced whole and crash-safe like the
// other data files; the message files keep their format.

namespace sieveclaw {

// Whose messages the ids are: another account name, server or user is another mailbox, whose
// ids say nothing about this one.
struct MailboxIdentity {
    std::string m_Account;
    std::string m_Server;
    std::string m_User;
};

class CMessageIds {
public:
    // What is known of one message.
    struct Known {
        // Deleted on the server, by the check (spam) or because the user asked; otherwise good
        // mail stored in the inbox folder.
        bool m_Deleted = false;
        // Its copy (inbox or spam folder), without the folder; empty for a deletion the user asked
        // for, whose copy the user took away.
        std::string m_FileName;
        // Its four header fields, when this run has seen them; never stored.
        MessageEntry m_Fields;
    };
    using KnownById = std::unordered_map<std::string, Known>;

    explicit CMessageIds(MailboxIdentity identity);

    // Reads the mailbox's file. Nothing is known when there is none, or when it cannot be read or
    // belongs to another mailbox; false then.
    bool Load();
    // Writes the file when anything changed since it was read or written; false when it could not
    // be written (what is known stays, and the next Save tries again).
    bool Save();
    const std::string& FilePath() const { return m_Path; }

    const Known* Find(const std::string& id) const;
    void SetKept(const std::string& id, std::string fileName, MessageEntry fields);
    void SetDeleted(const std::string& id, std::string fileName, MessageEntry fields);
    void Forget(const std::string& id);
    // Forgets every id that is not one of listed (the messages on the server now).
    void KeepOnly(const std::vector<std::string>& listed);
    // Gives the kept messages whose copies are among entries the fields of those entries.
    void TakeFieldsFrom(const std::vector<MessageEntry>& entries);
    std::size_t Count() const { return m_Known.size(); }

    // The file's text, and reading it back over a buffer: nothing when it is not a file of ours
    // for this mailbox. Lines that cannot be read are passed over.
    std::string Format() const;
    static std::optional<KnownById> Parse(std::string_view text, const MailboxIdentity& identity);

private:
    MailboxIdentity m_Identity;
    std::string m_Path;
    KnownById m_Known;
    bool m_Changed = false;
};

// The folder of the files, without a trailing '/'.
std::string MessageIdsFolder();
// The file of one mailbox in it.
std::string MessageIdsPath(const MailboxIdentity& identity);
// Removes the files of mailboxes none of identities names (accounts removed or changed).
void RemoveOtherMessageIds(const std::vector<MailboxIdentity>& identities);

}  // namespace sieveclaw
