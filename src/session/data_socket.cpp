#include "session/data_socket.h"

CDataSocket::CDataSocket(CControlSocket* pSession) : m_pSession(pSession) {}

CDataSocket::~CDataSocket() = default;
