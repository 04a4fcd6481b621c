#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

// A dialog template of the program's resources, with its font's face set to
// the one the window uses on this machine: the templates ask for the Ming
// face of the Traditional Chinese fonts, which a Windows without those
// supplemental fonts lacks; the dialog units then follow the face shown.
class CDialogTemplate {
public:
    explicit CDialogTemplate(int templateId);

    // Null when the resource is missing or is no extended template.
    const DLGTEMPLATE* Data() const;
    // The face the window's templates and fonts use: the Ming face when it
    // is installed, else the system's Traditional Chinese interface face.
    static const std::wstring& Face();

private:
    bool Rebuild(const uint8_t* resource, size_t size);

    // Words, so that the template starts on the boundary it needs.
    std::vector<uint32_t> m_Words;
};
