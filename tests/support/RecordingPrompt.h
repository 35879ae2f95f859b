#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/UserPrompt.h"

namespace sieveclaw::test {

// A prompt that records every box in order and answers from queues: questions with the answers
// given (kNo once they run out), file choosers with the files given (none once they run out).
class CRecordingPrompt : public CUserPrompt {
public:
    enum class EKind { kDismissable, kError, kInformation, kPlain, kQuestion, kFile };
    struct Box {
        EKind m_Kind;
        std::string m_Text;  // for a file chooser its filter; for a dismissable box "name: text"
    };

    void ShowDismissable(const std::string& switchName, const std::string& text) override {
        Record(EKind::kDismissable, switchName + ": " + text);
    }
    void ShowError(const std::string& text) override { Record(EKind::kError, text); }
    void ShowInformation(const std::string& text) override { Record(EKind::kInformation, text); }
    void ShowPlain(const std::string& text) override { Record(EKind::kPlain, text); }
    EAnswer AskYesNoCancel(const std::string& text) override {
        Record(EKind::kQuestion, text);
        return Take(m_Answers, EAnswer::kNo);
    }
    std::optional<std::string> ChooseFileToOpen(const std::string& filter, const std::string&) override {
        Record(EKind::kFile, filter);
        return Take(m_Files, std::optional<std::string>());
    }
    std::optional<std::string> ChooseFileToOpenAt(const std::string& filter, const std::string&,
                                                  const std::string& initialFile) override {
        m_InitialFiles.push_back(initialFile);
        return ChooseFileToOpen(filter, {});
    }

    // The texts of one kind of box, in order.
    std::vector<std::string> Texts(EKind kind) const {
        std::vector<std::string> texts;
        for (const Box& box : m_Boxes) {
            if (box.m_Kind == kind) {
                texts.push_back(box.m_Text);
            }
        }
        return texts;
    }

    std::vector<Box> m_Boxes;
    std::deque<EAnswer> m_Answers;
    std::deque<std::optional<std::string>> m_Files;
    std::vector<std::string> m_InitialFiles;
    // Runs after each box is recorded, before it is answered.
    std::function<void(const Box&)> m_OnBox;

private:
    void Record(EKind kind, std::string text) {
        m_Boxes.push_back({kind, std::move(text)});
        if (m_OnBox) {
            m_OnBox(m_Boxes.back());
        }
    }
    template <class T>
    static T Take(std::deque<T>& queue, T otherwise) {
        if (queue.empty()) {
            return otherwise;
        }
        T value = std::move(queue.front());
        queue.pop_front();
        return value;
    }
};

}  // namespace sieveclaw::test
