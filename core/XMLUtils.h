#pragma once

#include <string>

class XMLUtils
{
public:
    // out receives in with " & ' < > replaced by their entities; every other byte
    // is copied unchanged. in and out may be the same string.
    static void EscapeString(const std::string& in, std::string& out);
};
