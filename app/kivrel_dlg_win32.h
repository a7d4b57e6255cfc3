#pragma once
// The main window: dialog template 102 as a thin view over MainWindowModel. It draws, owns
// the controls and the dialogs, turns Windows messages into the model's calls, and is the
// window thread that the update worker and the downloaders send and post to. Windows only.

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/main_window_model.h"
#include "app/window_thread.h"
#include "base/prompts_win32.h"
#include "ui/dialog_base_win32.h"
#include "ui/scoped_gdi_win32.h"
#include "ui/shade_button_st_win32.h"
#include "ui/text_progress_ctrl_win32.h"

namespace kivrel {

class Archivers;

// Kivrel.exe's command line: [FILE.qdx] [--device sim:DIR] [--trace FILE] [--version-url URL].
struct KivrelCommandLine {
    MainWindowOptions window;
    std::string device = "hid";  // UTF-8, as the command-line tool takes it
    std::string traceFile;       // UTF-8; empty: no trace
};

// Parses the arguments after the program's name. False with `error` set on a wrong one.
[[nodiscard]] bool ParseKivrelCommandLine(int argc, const wchar_t* const* argv,
                                          KivrelCommandLine& commandLine, std::wstring& error);

class CKivrelDlg : public DialogBase, public MainWindowView, public WindowThread {
public:
    explicit CKivrelDlg(KivrelCommandLine commandLine = {});
    ~CKivrelDlg() override;

    [[nodiscard]] MainWindowModel* Model() noexcept { return model.get(); }

    // MainWindowView
    void SetTitle(std::wstring_view title) override;
    void SetStatusText(std::wstring_view text) override;
    void EnableButton(MainButton button, bool enabled) override;
    void SetProgressRange(std::uint32_t upper) override;
    void SetProgressPosition(std::uint32_t position) override;
    void SetProgressText(std::wstring_view text) override;
    void StartTimer(unsigned id, unsigned periodMs) override;
    void KillTimer(unsigned id) override;
    [[nodiscard]] bool ChooseUpdateFile(std::wstring& path) override;
    void OpenFolder(const std::wstring& folder) override;
    void EndWindow() override;

    // WindowThread: SendMessageW and PostMessageW to this window. After the window is gone a
    // send returns 0 and a post fails.
    std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    bool Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;

protected:
    BOOL OnInitDialog() override;
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    std::optional<LRESULT> OnCommand(WPARAM wParam);
    void OnDeviceChange(WPARAM event, LPARAM header);
    void OnDropFiles(HDROP drop);
    [[nodiscard]] bool OnPaintIconic();
    [[nodiscard]] HWND ButtonWindow(MainButton button) const;
    [[nodiscard]] HINSTANCE Instance() const;

    // Start-up, in this order: the icons and the system menu; the controls (frame texts, the
    // picture, the skinned progress bar and buttons, the focus); the model, with the province
    // map, the unit's notifications and the services it is given.
    void SetUpIconsAndMenu();
    void SetUpControls();
    void AttachControls();
    void StartModel();
    [[nodiscard]] MainWindowServices ModelServices();

    // The model's province question and settings window, on the window's thread.
    [[nodiscard]] int ChooseProvinces(UpdateRunShared& shared);
    void RunSettings(CGpsUnit& unit);

    KivrelCommandLine commandLine;
    MessageBoxPrompts prompts;
    std::unique_ptr<Archivers> archivers;
    HICON icon = nullptr;      // shared: not ours to destroy
    UniqueBitmap provinceMap;  // lent to the province window
    UniqueBitmap picture;
    CTextProgressCtrl progressBar;
    CShadeButtonST openButton;
    CShadeButtonST closeButton;
    CShadeButtonST settingButton;
    CShadeButtonST updateButton;
    // The window for other threads: cleared before the window goes away.
    std::atomic<HWND> threadWindow{nullptr};
    std::unique_ptr<MainWindowModel> model;
};

}  // namespace kivrel
