#include "session/command_table.h"

#include "session/control_socket.h"

namespace {

constexpr CommandEntry kCommands[] = {
    {"USER", Right::None, &CControlSocket::CmdUser},
    {"PASS", Right::None, &CControlSocket::CmdPass},
    {"QUIT", Right::None, &CControlSocket::CmdQuit},
    {"TYPE", Right::None, &CControlSocket::CmdType},
    {"PWD", Right::None, &CControlSocket::CmdPwd},
    {"XPWD", Right::None, &CControlSocket::CmdPwd},
    {"CWD", Right::None, &CControlSocket::CmdCwd},
    {"CDUP", Right::None, &CControlSocket::CmdCdup},
    {"PORT", Right::None, &CControlSocket::CmdPort},
    {"LIST", Right::None, &CControlSocket::CmdList},
    {"NLST", Right::None, &CControlSocket::CmdList},
    {"RETR", Right::Download, &CControlSocket::CmdRetr},
    {"STOR", Right::Upload, &CControlSocket::CmdStor},
    {"DELE", Right::Delete, &CControlSocket::CmdDele},
    {"RMD", Right::Delete, &CControlSocket::CmdRmd},
    {"XRMD", Right::Delete, &CControlSocket::CmdRmd},
    {"MKD", Right::CreateDir, &CControlSocket::CmdMkd},
    {"XMKD", Right::CreateDir, &CControlSocket::CmdMkd},
    {"RNFR", Right::Rename, &CControlSocket::CmdRnfr},
    {"RNTO", Right::Rename, &CControlSocket::CmdRnto},
    {"REST", Right::None, &CControlSocket::CmdRest},
    {"SIZE", Right::None, &CControlSocket::CmdSize},
    {"PASV", Right::None, &CControlSocket::CmdPasv},
    {"ABOR", Right::None, &CControlSocket::CmdAbor},
    {"SYST", Right::None, &CControlSocket::CmdSyst},
    {"NOOP", Right::None, &CControlSocket::CmdNoop},
};

constexpr CommandEntry kAbor = {"ABOR", Right::None, &CControlSocket::CmdAbor};
constexpr CommandEntry kUnknown = {"", Right::None, &CControlSocket::CmdUnknown};

} // namespace

const CommandEntry& CCommandTable::Find(const QByteArray& verb)
{
    const std::string_view text(verb.constData(), verb.size());
    for (const CommandEntry& entry : kCommands) {
        if (entry.verb == text)
            return entry;
    }
    if (text.size() > 4 && text.ends_with("ABOR"))
        return kAbor;
    return kUnknown;
}
