// Asks an FTP server for its features (FEAT, RFC 2389) on a control connection of its
// own, for when WININET keeps only the last line of the reply ("211 End"), as Wine's
// does. FEAT needs no login. Returns the reply's lines, "" when the server did not
// answer within a few seconds.
#pragma once
#include <string>

std::string AskFeatures(const char* host);
