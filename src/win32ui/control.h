#pragma once

#include <windows.h>

// A control of a dialog that handles some of its own messages: attached to
// the dialog's item, it sees each message first and passes on what it
// leaves alone. Detached when the control is destroyed or the object goes.
class CControl {
public:
    CControl() = default;
    virtual ~CControl();
    CControl(const CControl&) = delete;
    CControl& operator=(const CControl&) = delete;

    void Attach(HWND hWnd);
    HWND Handle() const { return m_hWnd; }

protected:
    // Runs once the control's messages come here.
    virtual void OnAttached() {}
    // False leaves the message to the control's own handling.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    // The control's own handling of a message.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    void Detach();

    HWND m_hWnd = nullptr;
};
