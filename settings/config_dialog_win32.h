#pragma once
// CConfigDialog: the settings window (template 136) over ConfigModel, with the band boxes it
// creates at run time. Windows only.

#include <windows.h>

#include <memory>
#include <vector>

#include "settings/config_model.h"
#include "ui/dialog_base_win32.h"

namespace kivrel {

class Prompts;

class CConfigDialog : public DialogBase {
public:
    // `block` is the caller's copy, edited in place on OK only; null shows no window.
    CConfigDialog(Prompts& prompts, const ConfigInputs& inputs, SettingsBlock* block);

    // IDOK or IDCANCEL; -1 when the window could not be made.
    INT_PTR DoModal(HINSTANCE instance, HWND parent);

protected:
    BOOL OnInitDialog() override;
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    std::optional<LRESULT> OnCommand(WPARAM wParam);
    void OnOk();
    void OnCarrierPicked();
    void CreateBandBoxes();
    void DestroyBandBoxes();
    void ShowCredentials(const ConfigEntries& entries);
    [[nodiscard]] PixelRect ClientRectOf(int id) const;
    [[nodiscard]] std::wstring TextOf(int id) const;
    void SetText(int id, std::wstring_view text);
    void End(INT_PTR result);

    Prompts& prompts;
    ConfigInputs inputs;
    SettingsBlock* block;
    std::unique_ptr<ConfigModel> model;
    std::vector<HWND> bandBoxes;
};

// The settings window as the main window runs it: modal over `parent`.
class ConfigWindowWin32 : public ConfigWindow {
public:
    ConfigWindowWin32(HINSTANCE instance, HWND parent, Prompts& prompts) noexcept
        : instance(instance), parent(parent), prompts(prompts) {}
    [[nodiscard]] bool Run(const ConfigInputs& inputs, SettingsBlock& block) override;

private:
    HINSTANCE instance;
    HWND parent;
    Prompts& prompts;
};

}  // namespace kivrel
