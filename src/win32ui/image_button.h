#pragma once

#include <cstdint>

#include <windows.h>
#include <commctrl.h>

#include "win32ui/control.h"

// A push button that draws itself: its face is cut from a strip of pictures
// (normal, pressed, disabled, hot) stretched to the button without
// distorting the border, and its own text is drawn over it. To its dialog
// it is an ordinary push button: a click arrives as the usual command.
class CImageButton : public CControl {
public:
    static constexpr uint32_t kOptionHoverTracking = 1;

    CImageButton() = default;
    ~CImageButton() override;

    // Cuts faceCount faces from the bitmap resource and stretches each to
    // the button's size now, keeping margins of the given pixels unscaled.
    bool LoadFaceStrip(uint16_t bitmapId, int faceCount, int left, int top, int right, int bottom);
    void SetLabelColor(COLORREF color);
    // With mask 0 the value replaces the options; otherwise only the masked
    // bits. Returns the options before.
    uint32_t SetOptions(uint32_t value, uint32_t mask);
    // -1 stands for the normal face.
    void SetFaceIndexes(int normal, int pressed, int disabled, int hot);

    bool IsHovered() const { return m_bHovered; }
    bool IsPressed() const { return m_bPressed; }

protected:
    void OnAttached() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    int ChosenFace() const;
    void Draw(const DRAWITEMSTRUCT& item);
    void DrawBackground(HDC hdc, const RECT& rect);
    void DrawLabel(HDC hdc, const RECT& rect, bool bDisabled) const;
    void RepaintNow() const;
    void SetPressed(bool bPressed);
    void OnMouseMove();
    void OnButtonDown();
    void OnButtonUp();

    COLORREF m_crLabel = GetSysColor(COLOR_BTNTEXT);
    uint32_t m_nOptions = 0;
    HIMAGELIST m_hFaces = nullptr;
    int m_nNormal = -1;
    int m_nPressedFace = -1;
    int m_nHot = -1;
    int m_nDisabled = -1;
    bool m_bHovered = false;
    bool m_bPressed = false;
    HBITMAP m_hBackground = nullptr;
};
