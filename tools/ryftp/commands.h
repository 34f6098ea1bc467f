// ryftp's commands, each on a session with its arguments checked against its row of the
// table (command_table.cpp). Each says what it did, and returns false when it failed.
#pragma once
#include <string>
#include <vector>

namespace ryftp {
struct Session;
using Args = std::vector<std::string>;

namespace cmd {
// connection.cpp: the FTP connection, and what the machine knows of its network
bool Open(Session& s, const Args& a);
bool User(Session& s, const Args& a);
bool Close(Session& s, const Args& a);
bool Status(Session& s, const Args& a);
bool Ip(Session& s, const Args& a);
// remote.cpp: the server's directories and files
bool Pwd(Session& s, const Args& a);
bool Cd(Session& s, const Args& a);
bool List(Session& s, const Args& a);
bool Mkdir(Session& s, const Args& a);
bool Rmdir(Session& s, const Args& a);
bool Delete(Session& s, const Args& a);
bool Rename(Session& s, const Args& a);
bool Quote(Session& s, const Args& a);
// transfers.cpp: files both ways, one or many
bool Get(Session& s, const Args& a);
bool Reget(Session& s, const Args& a);
bool Put(Session& s, const Args& a);
bool Append(Session& s, const Args& a);
bool Mget(Session& s, const Args& a);
bool Mput(Session& s, const Args& a);
bool Mdelete(Session& s, const Args& a);
// local.cpp: this machine
bool Lcd(Session& s, const Args& a);
bool Shell(Session& s, const Args& a);
// dialup.cpp: the phonebook, dialing and hanging up
bool Phonebook(Session& s, const Args& a);
bool Creds(Session& s, const Args& a);
bool Dial(Session& s, const Args& a);
bool HangUp(Session& s, const Args& a);
// settings.cpp: how the session works (help and bye: command_table.cpp, which they read)
bool Prompt(Session& s, const Args& a);
bool Binary(Session& s, const Args& a);
bool Ascii(Session& s, const Args& a);
bool Type(Session& s, const Args& a);
bool Hash(Session& s, const Args& a);
bool Passive(Session& s, const Args& a);
bool Verbose(Session& s, const Args& a);
bool Help(Session& s, const Args& a);
bool Bye(Session& s, const Args& a);
}  // namespace cmd

// RyFtpConnect connects and logs in in one call: the session holds the host until its
// user and password are known (connection.cpp).
bool LogIn(Session& s, const std::string& host, const std::string& user, std::string& password);
}  // namespace ryftp
