#include "session/command_table.h"

#include "session/control_socket.h"

namespace {

constexpr CommandEntry kCommands[] = {
    {"USER", Login::NotRequired, Right::None, &CControlSocket::CmdUser},
    {"PASS", Login::NotRequired, Right::None, &CControlSocket::CmdPass},
    {"QUIT", Login::Required, Right::None, &CControlSocket::CmdQuit},
    {"TYPE", Login::Required, Right::None, &CControlSocket::CmdType},
    {"PWD", Login::Required, Right::None, &CControlSocket::CmdPwd},
    {"XPWD", Login::Required, Right::None, &CControlSocket::CmdPwd},
    {"CWD", Login::Required, Right::None, &CControlSocket::CmdCwd},
    {"CDUP", Login::Required, Right::None, &CControlSocket::CmdCdup},
    {"PORT", Login::Required, Right::None, &CControlSocket::CmdPort},
    {"LIST", Login::Required, Right::None, &CControlSocket::CmdList},
    {"NLST", Login::Required, Right::None, &CControlSocket::CmdList},
    {"RETR", Login::Required, Right::Download, &CControlSocket::CmdRetr},
    {"STOR", Login::Required, Right::Upload, &CControlSocket::CmdStor},
    {"DELE", Login::Required, Right::Delete, &CControlSocket::CmdDele},
    {"RMD", Login::Required, Right::Delete, &CControlSocket::CmdRmd},
    {"XRMD", Login::Required, Right::Delete, &CControlSocket::CmdRmd},
    {"MKD", Login::Required, Right::CreateDir, &CControlSocket::CmdMkd},
    {"XMKD", Login::Required, Right::CreateDir, &CControlSocket::CmdMkd},
    {"RNFR", Login::Required, Right::Rename, &CControlSocket::CmdRnfr},
    {"RNTO", Login::Required, Right::Rename, &CControlSocket::CmdRnto},
    {"REST", Login::Required, Right::None, &CControlSocket::CmdRest},
    {"SIZE", Login::Required, Right::None, &CControlSocket::CmdSize},
    {"PASV", Login::Required, Right::None, &CControlSocket::CmdPasv},
    {"ABOR", Login::Required, Right::None, &CControlSocket::CmdAbor},
    {"SYST", Login::Required, Right::None, &CControlSocket::CmdSyst},
    {"NOOP", Login::Required, Right::None, &CControlSocket::CmdNoop},
};

constexpr CommandEntry kAbor = {"ABOR", Login::Required, Right::None, &CControlSocket::CmdAbor};
constexpr CommandEntry kUnknown = {"", Login::Required, Right::None, &CControlSocket::CmdUnknown};

} // namespace

const CommandEntry& CCommandTable::Find(std::string_view verb)
{
    for (const CommandEntry& entry : kCommands) {
        if (entry.verb == verb)
            return entry;
    }
    if (verb.size() > 4 && verb.ends_with("ABOR"))
        return kAbor;
    return kUnknown;
}
