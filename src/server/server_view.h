#pragma once

#include <cstdint>
#include <string>

// What the server control needs of its window: the caption, the status
// pane, the Start and Stop buttons and the log. All texts are Big5 bytes; the
// window turns them into display text at its edge. Called on the main thread.
class IServerView {
public:
    virtual ~IServerView() = default;

    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetStatusText(const std::string& status) = 0;
    virtual void SetServerRunning(bool bRunning) = 0;
    virtual void AddLogRow(uint32_t threadId, const std::string& message) = 0;
};
