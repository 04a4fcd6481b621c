#pragma once

#include <cstdint>
#include <string>

#include "server/server_view.h"

// A server view that shows nothing, for servers run where nobody looks
// (benchmarks), so that what it would show costs nothing and never grows.
class CNullServerView : public IServerView {
public:
    void SetCaption(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void SetServerRunning(bool) override {}
    void AddLogRow(uint32_t, const std::string&) override {}
};
