#include "win32ui/dialog_template.h"

#include <cstring>

namespace {

constexpr const wchar_t* kMingFace = L"新細明體";
constexpr const wchar_t* kFallbackFace = L"Microsoft JhengHei UI";

// The fixed head of an extended template, up to its menu field, and where
// its signature and style lie.
constexpr size_t kHeadSize = 26;
constexpr size_t kSignatureOffset = 2;
constexpr size_t kStyleOffset = 12;
constexpr uint16_t kExtendedSignature = 0xFFFF;
// Point size, weight, italic flag and character set precede the face.
constexpr size_t kFontHeadSize = 6;

bool IsInstalled(const wchar_t* face)
{
    LOGFONTW wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
    bool bFound = false;
    HDC hdc = GetDC(nullptr);
    EnumFontFamiliesExW(
        hdc, &wanted,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) -> int {
            *reinterpret_cast<bool*>(found) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&bFound), 0);
    ReleaseDC(nullptr, hdc);
    return bFound;
}

template <typename Value>
Value ReadAt(const uint8_t* data, size_t offset)
{
    Value value{};
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

// Past a zero-ended wide string.
size_t SkipString(const uint8_t* data, size_t offset, size_t size)
{
    while (offset + 2 <= size) {
        const uint16_t character = ReadAt<uint16_t>(data, offset);
        offset += 2;
        if (character == 0)
            return offset;
    }
    return size + 1;
}

// Past a menu or class field: none, a number, or a zero-ended name.
size_t SkipNameOrNumber(const uint8_t* data, size_t offset, size_t size)
{
    if (offset + 2 > size)
        return size + 1;
    const uint16_t first = ReadAt<uint16_t>(data, offset);
    if (first == 0x0000)
        return offset + 2;
    if (first == 0xFFFF)
        return offset + 4;
    return SkipString(data, offset, size);
}

size_t AlignToWord(size_t offset)
{
    return (offset + 3) & ~size_t{3};
}

} // namespace

CDialogTemplate::CDialogTemplate(int templateId)
{
    HINSTANCE hInstance = GetModuleHandleW(nullptr);
    HRSRC hFound = FindResourceW(hInstance, MAKEINTRESOURCEW(templateId), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    HGLOBAL hLoaded = hFound != nullptr ? LoadResource(hInstance, hFound) : nullptr;
    const auto* resource = hLoaded != nullptr ? static_cast<const uint8_t*>(LockResource(hLoaded)) : nullptr;
    if (resource == nullptr || !Rebuild(resource, SizeofResource(hInstance, hFound)))
        m_Words.clear();
}

const DLGTEMPLATE* CDialogTemplate::Data() const
{
    return m_Words.empty() ? nullptr : reinterpret_cast<const DLGTEMPLATE*>(m_Words.data());
}

const std::wstring& CDialogTemplate::Face()
{
    static const std::wstring face = IsInstalled(kMingFace) ? kMingFace : kFallbackFace;
    return face;
}

// The template again with the face replaced: the head and font fields as
// they were, the new face, then the controls from the next word boundary on.
bool CDialogTemplate::Rebuild(const uint8_t* resource, size_t size)
{
    if (size < kHeadSize || ReadAt<uint16_t>(resource, kSignatureOffset) != kExtendedSignature)
        return false;
    const DWORD style = ReadAt<DWORD>(resource, kStyleOffset);
    size_t offset = SkipNameOrNumber(resource, kHeadSize, size);    // menu
    offset = SkipNameOrNumber(resource, offset, size);               // class
    offset = SkipString(resource, offset, size);                     // caption
    if ((style & DS_SETFONT) == 0 || offset + kFontHeadSize > size)
        return false;
    const size_t faceStart = offset + kFontHeadSize;
    const size_t controlsStart = AlignToWord(SkipString(resource, faceStart, size));
    if (controlsStart > size)
        return false;

    const std::wstring& face = Face();
    const size_t faceBytes = (face.size() + 1) * sizeof(wchar_t);
    const size_t newControlsStart = AlignToWord(faceStart + faceBytes);
    std::vector<uint8_t> bytes(newControlsStart + (size - controlsStart), 0);
    std::memcpy(bytes.data(), resource, faceStart);
    std::memcpy(bytes.data() + faceStart, face.c_str(), faceBytes);
    std::memcpy(bytes.data() + newControlsStart, resource + controlsStart, size - controlsStart);
    m_Words.assign(AlignToWord(bytes.size()) / sizeof(uint32_t), 0);
    std::memcpy(m_Words.data(), bytes.data(), bytes.size());
    return true;
}
