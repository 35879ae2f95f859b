#pragma once

#include <QDialog>

#include "core/UserPrompt.h"

namespace sieveclaw {

// "About Sieveclaw": the icon, the version line, the rights, and the product picture, a click on
// which opens the vendor's web site.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(CUserPrompt& prompt, QWidget* parent = nullptr);

    // "Sieveclaw Version <version>".
    static QString VersionLine();
};

}  // namespace sieveclaw
