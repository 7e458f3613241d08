#pragma once
// The colour picker of the DPI stages and the lighting: a palette, sixteen preset swatches, red,
// green and blue as decimal edits, a preview, and confirm and cancel.
//
//     CDpiColorWnd dialog;
//     dialog.SetColor(0xFFFF4000);
//     dialog.SetPosition(topLeft);
//     dialog.Create(owner, {}, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, 0, 0, 800, 800);
//     if (dialog.ShowModal() == 1) use(dialog.Color());
//
// The caller owns the dialog; it does not delete itself when its window goes.

#include <QPoint>

#include <array>
#include <cstdint>
#include <optional>

#include "ui/window.h"

namespace quillon {

class CButtonUI;
class CColorPaletteUI;
class CEditUI;

inline constexpr int kColorDialogWidth = 250;
inline constexpr int kColorDialogHeight = 200;

// The preset swatches mouse_dpi_color_1..16, as ARGB.
inline constexpr std::array<std::uint32_t, 16> kPresetColors = {
    0xFF00FFFF, 0xFF6CFF00, 0xFF7F00FF, 0xFF007FFF, 0xFF0000FF, 0xFF7FFF00, 0xFFFF5400, 0xFFFF7F00,
    0xFFFFB400, 0xFFFFFF00, 0xFFFF0000, 0xFFFF00FF, 0xFF1EB40A, 0xFF48B1FF, 0xFFFF48B0, 0xFFFFFFFF};

class CDpiColorWnd : public WindowImplBase {
public:
    CDpiColorWnd();
    ~CDpiColorWnd() override;

    // The colour shown at the start, and after a confirm the colour chosen (ARGB, alpha 0xFF).
    std::uint32_t Color() const { return m_color; }
    void SetColor(std::uint32_t argb) { m_color = 0xFF000000u | argb; }
    // The dialog's top-left corner on the screen.
    void SetPosition(QPoint topLeft) { m_position = topLeft; }

    QString GetWindowClassName() const override;
    QString GetSkinFile() override;
    void InitWindow() override;
    void OnFinalMessage(HWND hWnd) override;
    void Notify(TNotifyUI& msg) override;
    void OnClick(TNotifyUI& msg) override;

    // Opens the dialog modally over `owner` and returns the chosen colour, or nothing when it was
    // cancelled (or could not be shown).
    static std::optional<std::uint32_t> Choose(HWND owner, std::uint32_t argb, QPoint topLeft);

private:
    void ShowColor(bool rewriteEdits);
    void OnComponentEdited(CEditUI* edit);

    std::uint32_t m_color = 0xFF000000;
    QPoint m_position;
    CButtonUI* m_confirm = nullptr;
    CButtonUI* m_cancel = nullptr;
    CControlUI* m_preview = nullptr;
    CColorPaletteUI* m_palette = nullptr;
    CEditUI* m_red = nullptr;
    CEditUI* m_green = nullptr;
    CEditUI* m_blue = nullptr;
    std::array<CButtonUI*, 16> m_presets{};
};

}  // namespace quillon
