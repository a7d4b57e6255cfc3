#pragma once
// CConfigDialog: the settings window (template 136) as a thin view over ConfigWindowModel,
// with the band boxes it creates at run time. It draws, and turns clicks into the model's
// calls. Windows only.

#include <windows.h>

#include <memory>
#include <vector>

#include "settings/config_window_model.h"
#include "ui/dialog_base_win32.h"

namespace kivrel {

class Prompts;

class CConfigDialog : public DialogBase, public ConfigView {
public:
    // `block` is the caller's copy, edited in place on OK only; null shows no window.
    CConfigDialog(Prompts& prompts, const ConfigInputs& inputs, SettingsBlock* block);

    // IDOK or IDCANCEL; -1 when the window could not be made.
    INT_PTR DoModal(HINSTANCE instance, HWND parent);

    // ConfigView
    void SetTitle(std::wstring_view title) override;
    void SetText(int id, std::wstring_view text) override;
    void SetChecked(int id, bool checked) override;
    void Show(int id, bool shown) override;
    void Enable(int id, bool enabled) override;
    void AddCarrier(std::wstring_view name) override;
    void AddBandBox(const BandBox& box) override;
    [[nodiscard]] std::wstring Text(int id) const override;
    [[nodiscard]] bool Checked(int id) const override;
    void EndWindow(bool accepted) override;

protected:
    BOOL OnInitDialog() override;
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    std::optional<LRESULT> OnCommand(WPARAM wParam);
    void OnCarrierPicked();
    void DestroyBandBoxes();
    [[nodiscard]] PixelRect ClientRectOf(int id) const;

    Prompts& prompts;
    ConfigInputs inputs;
    SettingsBlock* block;
    std::unique_ptr<ConfigWindowModel> model;
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
