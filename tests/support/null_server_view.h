#pragma once

#include "server/server_view.h"

// A server view that shows nothing, for servers run where nobody looks
// (benchmarks), so that what it would show costs nothing and never grows.
class CNullServerView : public IServerView {
public:
    void SetCaption(const QByteArray&) override {}
    void SetStatusText(const QByteArray&) override {}
    void SetServerRunning(bool) override {}
    void AddLogRow(quint32, const QByteArray&) override {}
};
