#pragma once

#include <vector>

#include <QByteArray>

#include "server/server_view.h"

// Records what the server control shows, for tests without widgets.
class CFakeServerView : public IServerView {
public:
    struct Row {
        quint32 threadId;
        QByteArray message;
    };

    void SetCaption(const QByteArray& caption) override { m_strCaption = caption; }
    void SetStatusText(const QByteArray& status) override { m_strStatus = status; }
    void SetServerRunning(bool bRunning) override { m_bRunning = bRunning; }
    void AddLogRow(quint32 threadId, const QByteArray& message) override { m_Rows.push_back({threadId, message}); }

    QByteArray m_strCaption;
    QByteArray m_strStatus;
    bool m_bRunning = false;
    std::vector<Row> m_Rows;
};
