#include "core/XMLUtils.h"

void XMLUtils::EscapeString(const std::string& in, std::string& out)
{
    std::string escaped;
    escaped.reserve(in.size());
    for (const char c : in)
    {
        switch (c)
        {
        case '"':
            escaped += "&quot;";
            break;
        case '&':
            escaped += "&amp;";
            break;
        case '\'':
            escaped += "&apos;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        default:
            escaped += c;
            break;
        }
    }
    out.swap(escaped);
}
