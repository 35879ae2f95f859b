#pragma once

#include <string>

#include "mail/CEmailMsg.h"

namespace sieveclaw {

// Fills message from a file holding one message as a mail server would send it (an .eml file):
// m_RawText and m_Body get its text with every line ended in CR LF, the summary fields come from
// its header. False when the file cannot be read.
bool LoadRawMessage(const std::string& filePath, CEmailMsg& message);

}  // namespace sieveclaw
