#include "ui/message_boxes.h"

#include "ui/automation/app_automation.h"
#include "ui/kav_app.h"

int ShowMessageBox(const wxString& text, const wxString& caption, long style, wxWindow* owner) {
    auto* app = dynamic_cast<CKavApp*>(wxApp::GetInstance());
    if (IAppAutomation* automation = app != nullptr ? app->Automation() : nullptr)
        return automation->AnswerBox(text, caption, style);
    return ShowSystemMessageBox(text, caption, style, owner);
}
