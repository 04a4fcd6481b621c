#include "win32ui/image_button.h"

#include <string>

#include "win32ui/dialog.h"

namespace {

constexpr COLORREF kTransparentColor = RGB(255, 0, 255);
constexpr int kLabelMargin = 4;

// Where a label of the given extent starts along one side of the button.
int LabelStart(int room, int extent, bool bAtStart, bool bAtEnd)
{
    if (bAtStart)
        return kLabelMargin;
    if (bAtEnd)
        return room - kLabelMargin - extent;
    return (room - extent) / 2;
}

// One piece of the nine-part stretch; pieces of no area are left out.
void StretchPiece(HDC target, int x, int y, int width, int height, HDC source, int sx, int sy, int sw, int sh)
{
    if (width > 0 && height > 0 && sw > 0 && sh > 0)
        StretchBlt(target, x, y, width, height, source, sx, sy, sw, sh, SRCCOPY);
}

// A memory surface selected with a bitmap, both released together.
class CMemorySurface {
public:
    CMemorySurface(HDC compatible, HBITMAP hBitmap)
        : m_hdc(CreateCompatibleDC(compatible))
        , m_hOld(SelectObject(m_hdc, hBitmap))
    {
    }
    ~CMemorySurface()
    {
        SelectObject(m_hdc, m_hOld);
        DeleteDC(m_hdc);
    }
    CMemorySurface(const CMemorySurface&) = delete;
    CMemorySurface& operator=(const CMemorySurface&) = delete;
    HDC Handle() const { return m_hdc; }

private:
    HDC m_hdc;
    HGDIOBJ m_hOld;
};

} // namespace

CImageButton::~CImageButton()
{
    if (m_hFaces != nullptr)
        ImageList_Destroy(m_hFaces);
    if (m_hBackground != nullptr)
        DeleteObject(m_hBackground);
}

// The button paints itself from now on.
void CImageButton::OnAttached()
{
    const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
    SetWindowLongPtrW(Handle(), GWL_STYLE, (style & ~LONG_PTR{BS_TYPEMASK}) | BS_OWNERDRAW);
}

bool CImageButton::LoadFaceStrip(uint16_t bitmapId, int faceCount, int left, int top, int right, int bottom)
{
    auto hStrip = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAP strip = {};
    if (hStrip == nullptr || GetObjectW(hStrip, sizeof strip, &strip) == 0 || faceCount < 1
        || strip.bmWidth < faceCount) {
        if (hStrip != nullptr)
            DeleteObject(hStrip);
        return false;
    }
    RECT client = {};
    GetClientRect(Handle(), &client);
    const int cw = client.right;
    const int ch = client.bottom;
    const int fw = strip.bmWidth / faceCount;
    const int fh = strip.bmHeight;

    HDC hScreen = GetDC(Handle());
    HBITMAP hFaces = CreateCompatibleBitmap(hScreen, cw * faceCount, ch);
    {
        const CMemorySurface source(hScreen, hStrip);
        const CMemorySurface target(hScreen, hFaces);
        HDC s = source.Handle();
        HDC t = target.Handle();
        SetStretchBltMode(t, COLORONCOLOR);
        const int innerW = fw - left - right;
        const int innerH = fh - top - bottom;
        const int outW = cw - left - right;
        const int outH = ch - top - bottom;
        for (int i = 0; i < faceCount; ++i) {
            const int X = cw * i;
            const int S = fw * i;
            BitBlt(t, X, 0, left, top, s, S, 0, SRCCOPY);
            BitBlt(t, X + cw - right, 0, right, top, s, S + fw - right, 0, SRCCOPY);
            BitBlt(t, X + cw - right, ch - bottom, right, bottom, s, S + fw - right, fh - bottom, SRCCOPY);
            BitBlt(t, X, ch - bottom, left, bottom, s, S, fh - bottom, SRCCOPY);
            StretchPiece(t, X + left, 0, outW, top, s, S + left, 0, innerW, top);
            StretchPiece(t, X + left, ch - bottom, outW, bottom, s, S + left, fh - bottom, innerW, bottom);
            StretchPiece(t, X, top, left, outH, s, S, top, left, innerH);
            StretchPiece(t, X + cw - right, top, right, outH, s, S + fw - right, top, right, innerH);
            StretchPiece(t, X + left, top, outW, outH, s, S + left, top, innerW, innerH);
        }
    }
    ReleaseDC(Handle(), hScreen);

    if (m_hFaces != nullptr)
        ImageList_Destroy(m_hFaces);
    m_hFaces = ImageList_Create(cw, ch, ILC_COLOR16 | ILC_MASK, faceCount, 0);
    ImageList_AddMasked(m_hFaces, hFaces, kTransparentColor);
    DeleteObject(hFaces);
    DeleteObject(hStrip);
    SetFaceIndexes(0, faceCount >= 2 ? 1 : -1, faceCount >= 3 ? 2 : -1, faceCount >= 4 ? 3 : -1);
    return true;
}

void CImageButton::SetLabelColor(COLORREF color)
{
    m_crLabel = color;
}

uint32_t CImageButton::SetOptions(uint32_t value, uint32_t mask)
{
    const uint32_t before = m_nOptions;
    m_nOptions = mask == 0 ? value : (m_nOptions & ~mask) | (value & mask);
    return before;
}

void CImageButton::SetFaceIndexes(int normal, int pressed, int disabled, int hot)
{
    m_nNormal = normal;
    m_nPressedFace = pressed;
    m_nDisabled = disabled;
    m_nHot = hot;
}

// First match wins: pressed, hot (also when disabled), normal, disabled.
int CImageButton::ChosenFace() const
{
    int face = m_nDisabled;
    if (m_bPressed)
        face = m_nPressedFace;
    else if ((m_nOptions & kOptionHoverTracking) != 0 && m_bHovered)
        face = m_nHot;
    else if (IsWindowEnabled(Handle()))
        face = m_nNormal;
    return face < 0 ? m_nNormal : face;
}

bool CImageButton::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    switch (message) {
    case CDialog::kReflectBase + WM_DRAWITEM:
        Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
    // Painted whole each time: nothing to erase, and no flicker.
    case WM_ERASEBKGND:
        result = TRUE;
        return true;
    case WM_MOUSEMOVE:
        if ((m_nOptions & kOptionHoverTracking) == 0)
            return false;
        OnMouseMove();
        return true;
    case WM_MOUSELEAVE:
        if (m_bHovered) {
            m_bHovered = false;
            RepaintNow();
        }
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if ((m_nOptions & kOptionHoverTracking) == 0)
            return false;
        OnButtonDown();
        return true;
    case WM_LBUTTONUP:
        if ((m_nOptions & kOptionHoverTracking) == 0 || GetCapture() != Handle())
            return false;
        OnButtonUp();
        return true;
    case WM_CAPTURECHANGED:
        SetPressed(false);
        return false;
    case WM_ENABLE:
        result = Default(message, wParam, lParam);
        RepaintNow();
        return true;
    default:
        return false;
    }
}

void CImageButton::OnMouseMove()
{
    if (GetCapture() == Handle()) {
        RECT window = {};
        GetWindowRect(Handle(), &window);
        POINT cursor = {};
        GetCursorPos(&cursor);
        SetPressed(PtInRect(&window, cursor) != FALSE);
        return;
    }
    if (m_bHovered)
        return;
    m_bHovered = true;
    RepaintNow();
    TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, Handle(), 0};
    TrackMouseEvent(&track);
}

// No default press: the keyboard focus stays where it was. The second press
// of a double-click counts as a press.
void CImageButton::OnButtonDown()
{
    if (GetCapture() != Handle())
        SetCapture(Handle());
    if (GetCapture() == Handle())
        SetPressed(true);
}

// Released outside the button: no command.
void CImageButton::OnButtonUp()
{
    const bool bClicked = m_bPressed;
    ReleaseCapture();
    if (bClicked)
        SendMessageW(GetParent(Handle()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Handle()), BN_CLICKED),
                     reinterpret_cast<LPARAM>(Handle()));
}

void CImageButton::SetPressed(bool bPressed)
{
    if (m_bPressed == bPressed)
        return;
    m_bPressed = bPressed;
    RepaintNow();
}

void CImageButton::RepaintNow() const
{
    InvalidateRect(Handle(), nullptr, FALSE);
    UpdateWindow(Handle());
}

void CImageButton::Draw(const DRAWITEMSTRUCT& item)
{
    if (m_hFaces == nullptr)
        return;
    const RECT& rect = item.rcItem;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HBITMAP hPicture = CreateCompatibleBitmap(item.hDC, width, height);
    {
        const CMemorySurface picture(item.hDC, hPicture);
        DrawBackground(picture.Handle(), rect);
        ImageList_Draw(m_hFaces, ChosenFace(), picture.Handle(), 0, 0, ILD_TRANSPARENT);
        DrawLabel(picture.Handle(), RECT{0, 0, width, height}, (item.itemState & ODS_DISABLED) != 0);
        BitBlt(item.hDC, rect.left, rect.top, width, height, picture.Handle(), 0, 0, SRCCOPY);
    }
    DeleteObject(hPicture);
}

// The parent's pixels under the button, taken once at the first paint.
void CImageButton::DrawBackground(HDC hdc, const RECT& rect)
{
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (m_hBackground == nullptr) {
        HWND hParent = GetParent(Handle());
        RECT window = {};
        GetWindowRect(Handle(), &window);
        MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&window), 2);
        HDC hParentDc = GetDC(hParent);
        m_hBackground = CreateCompatibleBitmap(hParentDc, width, height);
        const CMemorySurface cache(hParentDc, m_hBackground);
        BitBlt(cache.Handle(), 0, 0, width, height, hParentDc, window.left, window.top, SRCCOPY);
        ReleaseDC(hParent, hParentDc);
    }
    const CMemorySurface cache(hdc, m_hBackground);
    BitBlt(hdc, 0, 0, width, height, cache.Handle(), 0, 0, SRCCOPY);
}

void CImageButton::DrawLabel(HDC hdc, const RECT& rect, bool bDisabled) const
{
    const int length = GetWindowTextLengthW(Handle());
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(Handle(), text.data(), length + 1)));
    auto hFont = reinterpret_cast<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0));
    HGDIOBJ hOldFont = SelectObject(hdc, hFont);
    RECT extent = {};
    DrawTextW(hdc, text.c_str(), static_cast<int>(text.size()), &extent, DT_CALCRECT | DT_SINGLELINE);
    const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
    const int horizontal = static_cast<int>(style & BS_CENTER);
    const int vertical = static_cast<int>(style & BS_VCENTER);
    int x = LabelStart(rect.right, extent.right, horizontal == BS_LEFT, horizontal == BS_RIGHT);
    int y = LabelStart(rect.bottom, extent.bottom, vertical == BS_TOP, vertical == BS_BOTTOM);
    if (m_bPressed) {
        ++x;
        ++y;
    }
    if (bDisabled) {
        DrawStateW(hdc, nullptr, nullptr, reinterpret_cast<LPARAM>(text.c_str()), static_cast<WPARAM>(text.size()),
                   x, y, extent.right, extent.bottom, DST_PREFIXTEXT | DSS_DISABLED);
    } else {
        RECT place = {x, y, x + extent.right, y + extent.bottom};
        SetTextColor(hdc, m_crLabel);
        SetBkMode(hdc, TRANSPARENT);
        DrawTextW(hdc, text.c_str(), static_cast<int>(text.size()), &place, DT_SINGLELINE);
    }
    SelectObject(hdc, hOldFont);
}
