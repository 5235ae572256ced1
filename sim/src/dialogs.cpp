// Modal dialogs run from the program's own compiled templates, with a scripted user: the
// machine image holds the steps (choose an entry of a list, press a button) that the person in
// front of the dialog takes. Message boxes are answered at once and journaled.
#include <cctype>
#include <string>

#include "choke.h"
#include "dialog_template.h"
#include "dialogs_internal.h"
#include "machine.h"
#include "sim/dialogs.h"
#include "sim/resources.h"

namespace sim {
namespace {

constexpr DWORD kVisible = 0x10000000L;  // WS_VISIBLE
constexpr DWORD kTabStop = 0x00010000L;  // WS_TABSTOP

struct DialogState {
    std::vector<DialogStep> script;
    std::vector<std::string> lastView;
};

DialogState& State() {
    static DialogState state;
    return state;
}

nlohmann::json StepToJson(const DialogStep& step) {
    if (step.kind == DialogStep::kSelect) {
        return {{"action", "select"}, {"control", step.control}, {"index", step.index}};
    }
    return {{"action", "press"}, {"control", step.control}};
}

DialogStep StepFromJson(const nlohmann::json& j) {
    DialogStep step;
    step.kind = j.value("action", std::string("press")) == "select" ? DialogStep::kSelect
                                                                    : DialogStep::kPress;
    step.control = j.value("control", 0);
    step.index = j.value("index", 0);
    return step;
}

const bool kRegistered = [] {
    RegisterSection({"dialogs",
                     [](const nlohmann::json& j) {
                         State() = DialogState{};
                         if (j.is_null()) {
                             return;
                         }
                         for (const auto& step : j.value("script", nlohmann::json::array())) {
                             State().script.push_back(StepFromJson(step));
                         }
                         State().lastView = j.value("lastView", std::vector<std::string>{});
                     },
                     [] {
                         nlohmann::json script = nlohmann::json::array();
                         for (const DialogStep& step : State().script) {
                             script.push_back(StepToJson(step));
                         }
                         return nlohmann::json{{"script", script}, {"lastView", State().lastView}};
                     },
                     [] { State() = DialogState{}; }});
    return true;
}();

// The template in the module: Windows falls back to any language the resource exists in when
// the user's own is missing, so the first one found serves.
DWORD FindTemplate(HMODULE module, LPCSTR name, ResourceBytes* found) {
    if (!IS_INTRESOURCE(name)) {
        NotModelled("DialogBoxParamA", "a template named by a string");
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    const WORD id = LOWORD(reinterpret_cast<ULONG_PTR>(name));
    const std::vector<WORD> languages = ModuleResourceLanguages(module, kResourceTypeDialog, id);
    return FindModuleResource(module, kResourceTypeDialog, id,
                              languages.empty() ? WORD{0} : languages.front(), found);
}

// Resource compilers write a predefined class either as its ordinal or by its name.
WORD ClassOrdinal(const TemplateName& windowClass) {
    if (windowClass.isOrdinal) {
        return windowClass.ordinal;
    }
    std::string name;
    for (char c : windowClass.text) {
        name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    if (name == "BUTTON") {
        return kClassButton;
    }
    if (name == "STATIC") {
        return kClassStatic;
    }
    return name == "COMBOBOX" ? kClassComboBox : WORD{0};
}

std::unique_ptr<OpenDialog> CreateDialog(const DialogTemplate& layout, DLGPROC procedure) {
    auto dialog = std::make_unique<OpenDialog>();
    dialog->handle = NewDialogHandle();
    dialog->procedure = procedure;
    dialog->title = layout.title;
    for (const DialogItemTemplate& item : layout.items) {
        DialogControl control;
        control.handle = NewDialogHandle();
        control.id = static_cast<int>(static_cast<short>(LOWORD(item.id)));
        control.classOrdinal = ClassOrdinal(item.windowClass);
        control.text = item.title.isOrdinal ? std::string() : item.title.text;
        control.style = item.style;
        dialog->controls.push_back(std::move(control));
    }
    return dialog;
}

// WM_INITDIALOG's wParam: the first control that takes the focus.
WPARAM FirstTabStop(const OpenDialog& dialog) {
    for (const DialogControl& control : dialog.controls) {
        if ((control.style & (kVisible | kTabStop)) == (kVisible | kTabStop)) {
            return reinterpret_cast<WPARAM>(control.handle);
        }
    }
    return 0;
}

DialogControl* ControlById(OpenDialog& dialog, int id) {
    for (DialogControl& control : dialog.controls) {
        if (control.id == id) {
            return &control;
        }
    }
    return nullptr;
}

void Record(OpenDialog& dialog, const std::string& what) {
    const std::string line = what + ": " + DescribeDialog(dialog);
    State().lastView.push_back(line);
    Journal("DialogBoxParamA", line, 0);
}

// One step of the user; an error when the step cannot be taken at all.
DWORD TakeStep(OpenDialog& dialog, const DialogStep& step) {
    DialogControl* control = ControlById(dialog, step.control);
    if (control == nullptr) {
        return ERROR_CONTROL_ID_NOT_FOUND;
    }
    const bool usable = control->enabled && (control->style & kVisible) != 0;
    if (step.kind == DialogStep::kSelect) {
        if (control->classOrdinal != kClassComboBox || !usable) {
            return ERROR_CONTROL_ID_NOT_FOUND;
        }
        if (step.index < 0 || static_cast<size_t>(step.index) >= control->entries.size()) {
            return ERROR_INVALID_INDEX;
        }
        control->selection = step.index;
        dialog.procedure(dialog.handle, WM_COMMAND, MAKEWPARAM(control->id, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(control->handle));
        Record(dialog, DescribeDialogStep(step));
        return ERROR_SUCCESS;
    }
    if (!usable) {
        // A click on a disabled or hidden button does nothing.
        Record(dialog, DescribeDialogStep(step) + " (ignored: the button is not usable)");
        return ERROR_SUCCESS;
    }
    dialog.procedure(dialog.handle, WM_COMMAND, MAKEWPARAM(control->id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(control->handle));
    Record(dialog, DescribeDialogStep(step));
    return ERROR_SUCCESS;
}

// The modal loop: the script's steps in order until the procedure ends the dialog. A script
// that runs out leaves the user closing the dialog, which sends IDCANCEL.
DWORD RunDialog(OpenDialog& dialog) {
    while (!dialog.ended) {
        if (State().script.empty()) {
            dialog.procedure(dialog.handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            Record(dialog, "closed (the script has no more steps)");
            return dialog.ended ? ERROR_SUCCESS : ERROR_CANCELLED;
        }
        const DialogStep step = State().script.front();
        State().script.erase(State().script.begin());
        MarkDirty("dialogs");
        if (DWORD error = TakeStep(dialog, step)) {
            Record(dialog, DescribeDialogStep(step) + " (refused)");
            return error;
        }
    }
    return ERROR_SUCCESS;
}

INT_PTR FailDialog(DWORD error) {
    SetLastError(error);
    return -1;
}

}  // namespace

std::vector<DialogStep> DialogScript() {
    EnsureLoaded();
    return State().script;
}

void AddDialogStep(const DialogStep& step) {
    EnsureLoaded();
    State().script.push_back(step);
    MarkDirty("dialogs");
}

void ClearDialogScript() {
    EnsureLoaded();
    State().script.clear();
    MarkDirty("dialogs");
}

std::vector<std::string> LastDialogView() {
    EnsureLoaded();
    return State().lastView;
}

std::string DescribeDialogStep(const DialogStep& step) {
    if (step.kind == DialogStep::kSelect) {
        return "select " + std::to_string(step.control) + " " + std::to_string(step.index);
    }
    return "press " + std::to_string(step.control);
}

}  // namespace sim

extern "C" {

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam) {
    (void)owner;
    sim::ApiCall call("DialogBoxParamA");
    if (DWORD e = call.fault()) {
        return sim::FailDialog(e);
    }
    sim::EnsureLoaded();
    sim::ResourceBytes bytes;
    if (DWORD e = sim::FindTemplate(instance, templateName, &bytes)) {
        return sim::FailDialog(e);
    }
    sim::DialogTemplate layout;
    if (!sim::ParseDialogTemplate(bytes.data, bytes.size, &layout) || dialogProc == nullptr) {
        return sim::FailDialog(ERROR_INVALID_PARAMETER);
    }
    if (sim::State().script.empty()) {
        // No one in front of the machine: as on a desktop-less session the window cannot be made.
        sim::Journal("DialogBoxParamA", "\"" + layout.title + "\": no dialog script", -1);
        return sim::FailDialog(ERROR_INVALID_WINDOW_HANDLE);
    }
    sim::OpenDialogs().push_back(sim::CreateDialog(layout, dialogProc));
    sim::OpenDialog& dialog = *sim::OpenDialogs().back();
    sim::State().lastView.clear();
    sim::MarkDirty("dialogs");
    dialog.procedure(dialog.handle, WM_INITDIALOG, sim::FirstTabStop(dialog), initParam);
    sim::Record(dialog, "shown \"" + layout.title + "\"");
    const DWORD error = sim::RunDialog(dialog);
    const INT_PTR result = error == ERROR_SUCCESS ? dialog.result : -1;
    sim::OpenDialogs().pop_back();
    sim::Journal("DialogBoxParamA", "\"" + layout.title + "\" ended", result);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
    }
    return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    sim::ApiCall call("EndDialog");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    sim::OpenDialog* open = sim::FindOpenDialog(dialog);
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // The dialog closes when its procedure returns to the modal loop.
    open->ended = true;
    open->result = result;
    return TRUE;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    (void)owner;
    sim::ApiCall call("MessageBoxA", text != nullptr ? text : "");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return 0;
    }
    if ((type & 0xFu) != MB_OK) {
        sim::NotModelled("MessageBoxA", "buttons other than OK");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    const std::string args = std::string("\"") + (text != nullptr ? text : "") + "\", \"" +
                             (caption != nullptr ? caption : "Error") + "\", " +
                             std::to_string(type);
    // The one button is the user's only answer.
    sim::Journal("MessageBoxA", args, IDOK);
    return IDOK;
}

}  // extern "C"
