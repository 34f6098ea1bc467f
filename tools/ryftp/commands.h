// ryftp's commands, each on a session with its arguments checked against its row of the
// table (command_table.cpp). Each says what it did, and returns false when it failed.
#pragma once
#include "command_table.h"

bool Open(Session& s, const Args& a);
bool User(Session& s, const Args& a);
bool Close(Session& s, const Args& a);
bool Pwd(Session& s, const Args& a);
bool Cd(Session& s, const Args& a);
bool List(Session& s, const Args& a);
bool Mkdir(Session& s, const Args& a);
bool Rmdir(Session& s, const Args& a);
bool Delete(Session& s, const Args& a);
bool Rename(Session& s, const Args& a);
bool Get(Session& s, const Args& a);
bool Put(Session& s, const Args& a);
bool Status(Session& s, const Args& a);
bool Ip(Session& s, const Args& a);
bool PhonebookEntries(Session& s, const Args& a);
bool Creds(Session& s, const Args& a);
bool Dial(Session& s, const Args& a);
bool HangUp(Session& s, const Args& a);
bool Help(Session& s, const Args& a);
bool Bye(Session& s, const Args& a);

// The commands Windows ftp scripts use (ftp_scripts.cpp).
bool Lcd(Session& s, const Args& a);
bool Mget(Session& s, const Args& a);
bool Mput(Session& s, const Args& a);
bool Mdelete(Session& s, const Args& a);
bool Append(Session& s, const Args& a);
bool Prompt(Session& s, const Args& a);
bool Binary(Session& s, const Args& a);
bool Ascii(Session& s, const Args& a);
bool Type(Session& s, const Args& a);
bool Hash(Session& s, const Args& a);
bool Verbose(Session& s, const Args& a);
bool Quote(Session& s, const Args& a);
bool Shell(Session& s, const Args& a);

// What the handlers share.
bool LogIn(Session& s, const std::string& host, const std::string& user, std::string& password);
// get in the session's type: ASCII turns LF line ends into CRLF once received.
bool Receive(Session& s, const std::string& remote, const std::string& local);
std::string BaseName(const std::string& path);
