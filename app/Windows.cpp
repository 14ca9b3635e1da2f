#include "app/Windows.h"

#include "app/ChatForm.h"
#include "app/ProgressForm.h"
#include "app/RulesForm.h"

void CreateWindows(TShellEnvironment environment) {
    VantaroForm = new TVantaroForm(std::move(environment));
    ProgressForm = new TProgressForm();
    ChatForm = new TChatForm();
    RulesForm = new TRulesForm();
}

void DestroyWindows() {
    delete RulesForm;
    RulesForm = nullptr;
    delete ChatForm;
    ChatForm = nullptr;
    delete ProgressForm;
    ProgressForm = nullptr;
    delete VantaroForm;
    VantaroForm = nullptr;
}
