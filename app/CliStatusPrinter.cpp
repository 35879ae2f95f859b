#include "app/CliStatusPrinter.h"

#include <ostream>
#include <utility>

#include "core/Settings.h"

namespace sieveclaw {

CCliStatusPrinter::CCliStatusPrinter(std::ostream& out, std::ostream& errors) : m_Out(out), m_Errors(errors) {}

CCliStatusPrinter::~CCliStatusPrinter() {
    Flush();
}

void CCliStatusPrinter::PostStatus(int code, std::int64_t value) {
    if (code == kStatusBytesDownloaded) {
        const std::lock_guard lock(m_Lock);
        m_PendingBytes = value;
        return;
    }
    Print(code, std::to_string(value));
}

void CCliStatusPrinter::PostStatusText(int code, std::string text) {
    Print(code, text);
}

void CCliStatusPrinter::PostError(std::string text, int /*style*/) {
    const std::lock_guard lock(m_Lock);
    WritePendingBytes();
    // The output first, so that the error lands after the lines that led to it.
    m_Out.flush();
    m_Errors << "Error: " << PrintableText(text, true) << "\n";
    m_Errors.flush();
}

void CCliStatusPrinter::Flush() {
    const std::lock_guard lock(m_Lock);
    WritePendingBytes();
    m_Out.flush();
    m_Errors.flush();
}

void CCliStatusPrinter::Print(int code, std::string_view text) {
    if (code == kStatusCountdown) {
        return;
    }
    const std::string currently = PrintableText(StatusText(code, text));
    const std::string connection = PrintableText(ConnectionText(code, text));
    const std::lock_guard lock(m_Lock);
    WritePendingBytes();
    if (!currently.empty()) {
        m_Out << "Currently: " << currently << "\n";
    }
    if (!connection.empty()) {
        m_Out << "Email Connection: " << connection << "\n";
    }
    if (!currently.empty() || !connection.empty()) {
        m_Out.flush();
    }
}

void CCliStatusPrinter::WritePendingBytes() {
    if (m_PendingBytes) {
        m_Out << "Currently: " << StatusText(kStatusBytesDownloaded, std::to_string(*m_PendingBytes)) << "\n";
        m_PendingBytes.reset();
    }
}

CCliUserPrompt::CCliUserPrompt(const CProfileStore& store, std::ostream& out, std::ostream& errors)
    : m_Store(store), m_Out(out), m_Errors(errors) {}

void CCliUserPrompt::ShowDismissable(const std::string& switchName, const std::string& text) {
    const std::lock_guard lock(m_Lock);
    if (!m_Shown.insert(switchName).second || !IsMessageShown(m_Store, switchName)) {
        return;
    }
    m_Out << PrintableText(text, true) << "\n";
    m_Out.flush();
}

void CCliUserPrompt::ShowError(const std::string& text) {
    const std::lock_guard lock(m_Lock);
    m_Out.flush();
    m_Errors << PrintableText(text, true) << "\n";
    m_Errors.flush();
}

void CCliUserPrompt::ShowInformation(const std::string& text) {
    const std::lock_guard lock(m_Lock);
    m_Out << PrintableText(text, true) << "\n";
    m_Out.flush();
}

CUserPrompt::EAnswer CCliUserPrompt::AskYesNoCancel(const std::string& text) {
    const std::lock_guard lock(m_Lock);
    m_Out.flush();
    m_Errors << PrintableText(text, true) << "\n(no answer on the command line: cancelled)\n";
    m_Errors.flush();
    return EAnswer::kCancel;
}

std::optional<std::string> CCliUserPrompt::ChooseFileToOpen(const std::string& /*filter*/,
                                                            const std::string& /*defaultExtension*/) {
    return std::nullopt;
}

}  // namespace sieveclaw
