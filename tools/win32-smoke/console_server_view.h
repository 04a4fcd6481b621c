#pragma once

#include <cstdint>
#include <string>

#include "server/server_view.h"

// Shows what the server would show its window as lines on the standard
// output (Big5 bytes as they are), so that a run can be read afterwards.
class CConsoleServerView : public IServerView {
public:
    void SetCaption(const std::string& caption) override;
    void SetStatusText(const std::string& status) override;
    void SetServerRunning(bool bRunning) override;
    void AddLogRow(uint32_t threadId, const std::string& message) override;
};
