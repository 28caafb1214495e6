#pragma once

#include "appstate.h"
#include "vorndialog.h"

#include <functional>

class QListWidget;
class QPushButton;

namespace vorn {

class frmScheduler;

// Open ("Load Data"): lists the saved copies of the archive folder and shows
// the chosen one in the main window.
class dlgOpen : public VornDialog {
    Q_OBJECT
public:
    // `fillTree` rebuilds the main window's grid for a grouping (FillTree).
    dlgOpen(AppState &state, std::function<void(qint16 sortOrder)> fillTree,
            ControlChannel *languageSource = nullptr, QWidget *parent = nullptr);

    // Title and buttons; the list stays as it was filled at load.
    void ApplyDialogTexts() override;

    // OK and a double click: the selected copy becomes LoadedName and the grid
    // is filled again; the dialog closes. Without a selection nothing happens.
    void LoadSelectedCopy();

    QListWidget *lstLoadData() const { return m_list; }
    QPushButton *OKButton() const { return m_okButton; }
    QPushButton *CancelButton() const { return m_cancelButton; }

private:
    void FillList();

    AppState &m_state;
    std::function<void(qint16)> m_fillTree;
    QListWidget *m_list = nullptr;
    QPushButton *m_okButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
};

// The Open command's dialog: loaded afresh, shown modally without an owner.
void RunOpenDialog(frmScheduler &window, bool topMost);

} // namespace vorn
