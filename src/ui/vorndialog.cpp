#include "vorndialog.h"

#include "controlchannel.h"
#include "texts.h"

namespace vorn {

VornDialog::VornDialog(ControlChannel *languageSource, QWidget *parent)
    : QDialog(parent)
{
    if (languageSource)
        m_languageLink = connect(languageSource, &ControlChannel::languageChangeRequested, this,
                                 &VornDialog::ml_RuntimeSupport_LanguageChanged);
}

VornDialog::~VornDialog()
{
    disconnect(m_languageLink);
}

void VornDialog::setTopMost(bool topMost)
{
    m_topMost = topMost;
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == topMost)
        return;
    // Changing a window flag hides a shown window; show it again.
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
    if (wasVisible)
        show();
}

void VornDialog::ml_RuntimeSupport_LanguageChanged(qint32 languageId, const QString &language)
{
    SetLanguage(languageId, language);
    ApplyDialogTexts();
}

void VornDialog::applyText(int id, const QString &englishText, const std::function<void(const QString &)> &apply)
{
    const QString text = GetText(id, englishText);
    if (!text.isEmpty())
        apply(text);
}

} // namespace vorn
