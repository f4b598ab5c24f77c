#include "tools/vellumconv/ConvText.h"

std::string EscapeControls(std::string_view text)
{
    static constexpr char HEX[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text)
    {
        const auto u = static_cast<unsigned char>(ch);
        switch (ch)
        {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (u < 0x20 || u == 0x7F)
            {
                out += "\\x";
                out += HEX[u >> 4];
                out += HEX[u & 0x0F];
            }
            else
                out += ch;
        }
    }
    return out;
}
