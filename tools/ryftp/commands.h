// ryftp's commands, each on a session with its arguments checked against its row of the
// table (command_table.cpp). Each says what it did, and returns false when it failed.
#pragma once
#include "command_table.h"

bool Open(Session& s, const Args& a);
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
