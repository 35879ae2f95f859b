#pragma once

#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "core/PrintableText.h"
#include "core/ProfileStore.h"
#include "core/StatusSink.h"
#include "core/UserPrompt.h"

// What the main window would show, for sieveclaw-cli check and run: one line per notification,
// written as it arrives.

namespace sieveclaw {

// Prints the "Currently" line of every status notification ("Currently: Logging into Home") and,
// after codes 1 and 2, the "Email Connection" line; error notifications go to the error stream.
// The countdown is not printed (it changes twenty times a second), nor anything without a line
// of its own (inbox and trash counts, progress, icons, sounds, reload requests).
//
// The byte count of a download arrives once per received piece; only the last count before the
// next notification is printed, so each download shows one line with its total.
//
// Called from the worker thread and the thread that owns the printer; one lock keeps lines whole.
class CCliStatusPrinter : public CStatusSink {
public:
    CCliStatusPrinter(std::ostream& out, std::ostream& errors);
    ~CCliStatusPrinter() override;  // Flush()

    void PostStatus(int code, std::int64_t value) override;
    void PostStatusText(int code, std::string text) override;
    void PostError(std::string text, int style) override;

    // Writes a byte count still held back, and flushes both streams.
    void Flush();

private:
    void Print(int code, std::string_view text);
    void WritePendingBytes();

    // Protects everything below and the streams.
    std::mutex m_Lock;
    std::ostream& m_Out;
    std::ostream& m_Errors;
    std::optional<std::int64_t> m_PendingBytes;
};

// The message boxes, printed: information and dismissable boxes on the output, errors on the
// error stream. A dismissable box is printed once per run, and not at all when the user has
// switched it off. Nobody is there to answer a question, so every question is cancelled and no
// file is chosen.
class CCliUserPrompt : public CUserPrompt {
public:
    CCliUserPrompt(const CProfileStore& store, std::ostream& out, std::ostream& errors);

    void ShowDismissable(const std::string& switchName, const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    EAnswer AskYesNoCancel(const std::string& text) override;
    std::optional<std::string> ChooseFileToOpen(const std::string& filter,
                                                const std::string& defaultExtension) override;

private:
    // Protects m_Shown and the streams.
    std::mutex m_Lock;
    const CProfileStore& m_Store;
    std::ostream& m_Out;
    std::ostream& m_Errors;
    std::set<std::string> m_Shown;
};

}  // namespace sieveclaw
