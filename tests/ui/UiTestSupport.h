#pragma once

#include <chrono>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QLineEdit>
#include <QWidget>
#include <QtTest/QTest>

#include "tests/support/RecordingPrompt.h"
#include "tests/support/ScopedDataFolder.h"
#include "ui/DialogContext.h"

namespace sieveclaw::test {

using EBox = CRecordingPrompt::EKind;

// A window test's world: a fresh data folder, the shared state over it, and a recording prompt
// that the windows' boxes go to.
class CUiTest : public ::testing::Test {
protected:
    CUiTest() : m_State(std::make_unique<CSharedState>()), m_Context{*m_State, m_Prompt, nullptr, false, {}} {}

    // The named child of window, failing the test when there is none.
    template <class W>
    static W* Child(QWidget& window, const char* name) {
        W* child = window.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << "no " << name;
        return child;
    }
    // Types into the named field as a user would (the field then counts as changed by the user).
    static void Type(QWidget& window, const char* name, const std::string& text) {
        if (auto* edit = Child<QLineEdit>(window, name)) {
            edit->selectAll();
            QTest::keyClicks(edit, QString::fromStdString(text));
            if (text.empty()) {
                QTest::keyClick(edit, Qt::Key_Delete);
            }
        }
    }
    static void Click(QWidget& window, const char* name) {
        if (auto* button = Child<QAbstractButton>(window, name)) {
            button->click();
        }
    }
    // Lets events run until condition holds or the bound passes; whether it held.
    template <class Condition>
    static bool WaitFor(Condition condition, std::chrono::milliseconds bound = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            QTest::qWait(10);
        }
        return true;
    }
    static std::string FocusName(QWidget& window) {
        QWidget* focus = window.focusWidget();
        return focus != nullptr ? focus->objectName().toStdString() : std::string();
    }

    CScopedDataFolder m_Folder;
    std::unique_ptr<CSharedState> m_State;
    CRecordingPrompt m_Prompt;
    CDialogContext m_Context;
};

}  // namespace sieveclaw::test
