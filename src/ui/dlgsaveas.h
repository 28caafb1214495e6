#pragma once

#include "appstate.h"
#include "vorndialog.h"

class QLineEdit;
class QPushButton;

namespace vorn {

class frmScheduler;

// Save As: copies the table that is shown (the live table, or the saved copy
// shown offline) into the archive folder under the name the user types.
class dlgSaveAs : public VornDialog {
    Q_OBJECT
public:
    explicit dlgSaveAs(AppState &state, ControlChannel *languageSource = nullptr, QWidget *parent = nullptr);

    // Title, buttons and the proposed name "Untitled 01".
    void ApplyDialogTexts() override;

    // The OK button: copies into the archive, asking first when the name is
    // taken; closes the dialog once the copy is there. A refused replacement
    // or a failure keeps the dialog open with the typed name.
    void SaveCopy();

    QLineEdit *txtSaveAs() const { return m_txtSaveAs; }
    QPushButton *OKButton() const { return m_okButton; }
    QPushButton *CancelButton() const { return m_cancelButton; }

private:
    AppState &m_state;
    QLineEdit *m_txtSaveAs = nullptr;
    QPushButton *m_okButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
};

// The Save As command's dialog: loaded afresh, shown modally without an owner.
void RunSaveAsDialog(frmScheduler &window, bool topMost);

} // namespace vorn
