#pragma once

#include <vector>

#include <cstdint>
#include <string>

#include "server/server_view.h"

// Records what the server control shows, for tests without widgets.
class CFakeServerView : public IServerView {
public:
    struct Row {
        uint32_t threadId;
        std::string message;
    };

    void SetCaption(const std::string& caption) override { m_strCaption = caption; }
    void SetStatusText(const std::string& status) override { m_strStatus = status; }
    void SetServerRunning(bool bRunning) override { m_bRunning = bRunning; }
    void AddLogRow(uint32_t threadId, const std::string& message) override { m_Rows.push_back({threadId, message}); }

    std::string m_strCaption;
    std::string m_strStatus;
    bool m_bRunning = false;
    std::vector<Row> m_Rows;
};
